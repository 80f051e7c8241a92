#pragma once
// The coded size of a video file made by any encoder: its video stream's packets as the
// container stores them.

#include <string>

#include "encode/encoder.h"

namespace orv {

// The first video stream of `path`: `encoder` the codec's name ("h264"), one CodedFrame per
// packet in decoding order (type 'I' for key frames, '?' otherwise), `stream_bytes` the
// packets' sizes summed, `file_bytes` the file's size and `bitrate` the stream's bits over
// the packets' summed duration (or over the frame count at the stream's frame rate when the
// packets carry none). Raises a Failure when the file cannot be read or has no video.
EncodeSummary read_bitstream_packets(const std::string& path);

}  // namespace orv
