#pragma once
// A sequence of media files read frame by frame from several threads at once: the frames of
// the files in the order given, after `start` frames skipped. Frames of videos are decoded in
// order by whichever thread asks for the next one, so a frame loop decodes inside its own
// threads and only the frames in flight are held. Single-frame files (BMP, images) are read
// directly by the thread that asks.

#include <memory>
#include <string>
#include <vector>

#include "media/media_source.h"

namespace orv {

struct SequenceInput {
    std::string path;
    MediaOptions options;
};

// One file of a sequence as opened and counted.
struct SequenceEntry {
    std::string path;
    MediaOptions options;
    MediaKind kind = MediaKind::bmp;
    int frame_count = 1;
    int first_frame = 0;        // index in the whole sequence, before the skip
    std::string colour;         // how its pixels become RGB (see MediaSource::colour)
    std::vector<double> times;  // presentation times, seconds (see MediaSource::times)
    double frame_rate = 0.0;
    std::vector<int> missing;  // frames of a damaged video that do not decode
    std::string damage;        // what the libraries said about the damage
    std::string transfer_tag;  // the stream's tags (see MediaSource)
    std::string primaries_tag;
    std::string planes_format;  // see MediaSource::planes_format
    std::string planes_colour;  // see MediaSource::planes_colour
};

struct SequenceShared;
struct SequenceSharedDelete {
    void operator()(SequenceShared* shared) const;
};

struct MediaSequence {
    std::vector<SequenceEntry> entries;
    int start = 0;  // frames skipped at the start
    int count = 0;  // frames after the skip
    std::unique_ptr<SequenceShared, SequenceSharedDelete> shared;
};

// Opens and counts every file (throws Failure); a skip that leaves no frame is refused.
MediaSequence open_media_sequence(const std::vector<SequenceInput>& inputs, int start);

// The presentation times of the sequence's frames after the skip, when it is one file that has
// them; empty otherwise (frames of several files, or pictures, have no common time).
std::vector<double> sequence_times(const MediaSequence& sequence);

struct SequenceFrame {
    PixelBuffer pixels;
    HeaderBlock header;
    std::string name;      // the file, and for a file of several frames "#" and its frame number
    SignalFrame signal;    // exact values of a deeper frame, with MediaOptions::keep_signal
    DecodedPlanes planes;  // the planes as decoded, with MediaOptions::keep_planes
};

// The name of frame `local` of a file holding `frame_count` frames: the path alone for a file
// of one frame, else the path, "#" and the frame number.
std::string sequence_frame_name(const std::string& path, int frame_count, int local);

// Frame `index` (0 = the first after the skip; an index past the end gives the last frame
// again). Safe to call from several threads, provided the frames of one sequence are asked
// for in increasing order, as a frame loop hands them out. Throws Failure; after a failure
// every later call on the sequence throws as well, so no thread waits for a frame that will
// never come.
SequenceFrame read_sequence_frame(MediaSequence& sequence, int index);

// Frame `index` of one file, keeping the file open in `reader` so that consecutive frames of
// a video are decoded once. Throws Failure.
struct FrameReader {
    MediaSource source;
};
void read_frame_at(FrameReader& reader, const std::string& path, int index,
                   const MediaOptions& options, PixelBuffer& pixels, HeaderBlock& header);

}  // namespace orv
