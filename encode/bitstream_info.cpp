#include "encode/bitstream_info.h"

#include <filesystem>

#include "encode/av_support.h"
#include "numeric/failure.h"

namespace orv {

EncodeSummary read_bitstream_packets(const std::string& path) {
    AVFormatContext* opened = nullptr;
    int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    if (code < 0) raise_failure(FailureKind::cannot_open, path, {}, av::error_text(code));
    const av::Input input(opened);
    code = avformat_find_stream_info(input.get(), nullptr);
    if (code < 0) raise_failure(FailureKind::cannot_open, path, {}, av::error_text(code));
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) raise_failure(FailureKind::bitstream_without_video, path);
    const AVStream* video = input->streams[stream];

    EncodeSummary summary;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(video->codecpar->codec_id);
    summary.encoder = descriptor != nullptr ? descriptor->name : "unknown";

    // Packets in decoding order; the frame numbers count them, the duration sums theirs.
    const av::Packet packet(av_packet_alloc());
    if (!packet) raise_failure(FailureKind::out_of_memory);
    std::int64_t duration = 0;
    for (;;) {
        code = av_read_frame(input.get(), packet.get());
        if (code == AVERROR_EOF) break;
        if (code < 0)
            raise_failure(FailureKind::cannot_read_bitstream, path, {}, av::error_text(code));
        if (packet->stream_index == stream) {
            CodedFrame frame;
            frame.index = static_cast<int>(summary.frames.size());
            frame.type = (packet->flags & AV_PKT_FLAG_KEY) != 0 ? 'I' : '?';
            frame.bytes = packet->size;
            summary.frames.push_back(frame);
            summary.stream_bytes += packet->size;
            duration += packet->duration;
        }
        av_packet_unref(packet.get());
    }
    double seconds = static_cast<double>(duration) * av_q2d(video->time_base);
    if (!(seconds > 0.0)) {
        const AVRational rate =
            video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            seconds = static_cast<double>(summary.frames.size()) / av_q2d(rate);
        }
    }
    summary.bitrate =
        seconds > 0.0 ? static_cast<double>(summary.stream_bytes) * 8.0 / seconds : 0.0;
    std::error_code size_error;
    summary.file_bytes = static_cast<long long>(std::filesystem::file_size(path, size_error));
    return summary;
}

}  // namespace orv
