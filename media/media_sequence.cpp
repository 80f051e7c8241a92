#include "media/media_sequence.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace orv {

struct SequenceShared {
    std::mutex mutex;
    std::condition_variable turn;
    std::vector<int> next_local;  // per entry: the frame of it to be read next
    int open_entry = -1;
    MediaSource source;  // the video being decoded
    bool failed = false;
    bool have_last = false;
    SequenceFrame last;  // the sequence's last frame, kept for repeats
};

void SequenceSharedDelete::operator()(SequenceShared* shared) const { delete shared; }

namespace {

bool single_frame(const SequenceEntry& entry) {
    return entry.frame_count == 1 && entry.kind != MediaKind::video && entry.kind != MediaKind::raw;
}

std::string frame_name(const SequenceEntry& entry, int local) {
    return sequence_frame_name(entry.path, entry.frame_count, local);
}

void read_single(const SequenceEntry& entry, SequenceFrame& frame) {
    MediaSource source = open_media(entry.path, entry.options);
    if (!next_frame(source, frame.pixels, frame.header)) {
        raise_failure(FailureKind::media_no_frames, entry.path);
    }
    frame.signal = std::move(source.signal);
    frame.planes = std::move(source.planes);
    frame.name = entry.path;
}

}  // namespace

std::string sequence_frame_name(const std::string& path, int frame_count, int local) {
    if (frame_count == 1) return path;
    return path + "#" + std::to_string(local);
}

MediaSequence open_media_sequence(const std::vector<SequenceInput>& inputs, int start) {
    MediaSequence sequence;
    int total = 0;
    // The first file of several frames stays open as it was counted, so that reading starts
    // without opening it again.
    MediaSource first;
    for (const SequenceInput& input : inputs) {
        SequenceEntry entry;
        entry.path = input.path;
        entry.options = input.options;
        MediaSource source = open_media(input.path, input.options);
        entry.kind = source.kind;
        entry.frame_count = source.frame_count;
        entry.colour = source.colour;
        entry.times = source.times;
        entry.frame_rate = source.frame_rate;
        entry.missing = source.missing;
        entry.damage = source.damage;
        entry.transfer_tag = source.transfer_tag;
        entry.primaries_tag = source.primaries_tag;
        entry.planes_format = source.planes_format;
        entry.planes_colour = source.planes_colour;
        entry.first_frame = total;
        if (entry.frame_count > std::numeric_limits<int>::max() - total) {
            raise_failure(FailureKind::media_too_many_frames, input.path);
        }
        total += entry.frame_count;
        if (sequence.entries.empty() && !single_frame(entry)) first = std::move(source);
        sequence.entries.push_back(std::move(entry));
    }
    if (start < 0) start = 0;
    if (!inputs.empty() && start >= total) {
        const std::string& path = inputs.back().path;
        raise_failure(FailureKind::media_start_beyond, path,
                      {std::to_string(start), std::to_string(total)});
    }
    sequence.start = start;
    sequence.count = total - start;
    sequence.shared.reset(new SequenceShared);
    sequence.shared->next_local.resize(sequence.entries.size());
    if (first.state) {
        sequence.shared->source = std::move(first);
        sequence.shared->open_entry = 0;
    }
    for (std::size_t j = 0; j < sequence.entries.size(); ++j) {
        const SequenceEntry& e = sequence.entries[j];
        sequence.shared->next_local[j] = std::max(0, start - e.first_frame);
    }
    return sequence;
}

std::vector<double> sequence_times(const MediaSequence& sequence) {
    if (sequence.entries.size() != 1) return {};
    const std::vector<double>& times = sequence.entries.front().times;
    if (times.size() != static_cast<std::size_t>(sequence.start + sequence.count)) return {};
    return {times.begin() + sequence.start, times.end()};
}

SequenceFrame read_sequence_frame(MediaSequence& sequence, int index) {
    SequenceFrame frame;
    if (sequence.count <= 0) return frame;
    const int last = sequence.start + sequence.count - 1;
    const int position = std::min(sequence.start + std::max(index, 0), last);
    // The entry holding the position: the last one whose first frame is not after it.
    const auto found =
        std::upper_bound(sequence.entries.begin(), sequence.entries.end(), position,
                         [](int p, const SequenceEntry& e) { return p < e.first_frame; });
    const std::size_t j = static_cast<std::size_t>(found - sequence.entries.begin()) - 1;
    const SequenceEntry& entry = sequence.entries[j];
    const int local = position - entry.first_frame;
    if (single_frame(entry)) {
        read_single(entry, frame);
        return frame;
    }

    SequenceShared& shared = *sequence.shared;
    std::unique_lock lock(shared.mutex);
    shared.turn.wait(lock, [&] {
        return shared.failed || (position == last && shared.have_last) ||
               shared.next_local[j] == local;
    });
    if (position == last && shared.have_last) return shared.last;
    if (shared.failed) {
        raise_failure(FailureKind::media_not_read, entry.path);
    }
    try {
        if (shared.open_entry != static_cast<int>(j)) {
            shared.source = MediaSource{};
            shared.open_entry = -1;
            shared.source = open_media(entry.path, entry.options);
            shared.open_entry = static_cast<int>(j);
        }
        MediaSource& source = shared.source;
        // Frames skipped at the start are decoded and dropped.
        while (source.frames_read <= local) {
            if (!next_frame(source, frame.pixels, frame.header)) {
                raise_failure(FailureKind::media_missing_frame, entry.path,
                              {std::to_string(local)});
            }
        }
        frame.signal = std::move(source.signal);
        frame.planes = std::move(source.planes);
        frame.name = frame_name(entry, local);
        shared.next_local[j] = local + 1;
        if (local == entry.frame_count - 1) {
            shared.source = MediaSource{};
            shared.open_entry = -1;
        }
        if (position == last) {
            shared.last = frame;
            shared.have_last = true;
        }
    } catch (...) {
        shared.failed = true;
        shared.source = MediaSource{};
        shared.open_entry = -1;
        lock.unlock();
        shared.turn.notify_all();
        throw;
    }
    lock.unlock();
    shared.turn.notify_all();
    return frame;
}

void read_frame_at(FrameReader& reader, const std::string& path, int index,
                   const MediaOptions& options, PixelBuffer& pixels, HeaderBlock& header) {
    MediaSource& source = reader.source;
    if (!source.state || source.path != path || source.frames_read > index) {
        source = MediaSource{};
        source = open_media(path, options);
    }
    PixelBuffer frame_pixels;
    HeaderBlock frame_header;
    while (source.frames_read <= index) {
        if (!next_frame(source, frame_pixels, frame_header)) {
            raise_failure(FailureKind::media_no_frame, path, {std::to_string(index)});
        }
    }
    pixels = std::move(frame_pixels);
    header = std::move(frame_header);
}

}  // namespace orv
