// Counting a file's frames in a pass over its container without decoding, and recognising a
// file cut short from what its packets and its container say.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "media/media_internal.h"

namespace orv::media_internal {

std::vector<int> missing_frames(const std::vector<double>& times, double start, double duration,
                                double rate) {
    std::vector<int> missing;
    if (!(rate > 0.0) || !(duration > 0.0)) return missing;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double step = 1.0 / rate;
    const long long expected = std::llround(duration * rate);
    if (expected > 100000000) return missing;
    for (long long k = 0; k < expected; ++k) {
        const double t = start + static_cast<double>(k) * step;
        // Present when a frame starts within half a frame of the grid's time.
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), t - step / 2);
        if (at == sorted.end() || *at >= t + step / 2) missing.push_back(static_cast<int>(k));
    }
    return missing;
}

int count_frames(MediaSource& source, const MediaOptions& options) {
    LibraryErrors errors(source.damage);
    AVFormatContext* opened = nullptr;
    AVDictionary* dict = nullptr;
    const AVInputFormat* input = nullptr;
    if (source.kind == MediaKind::raw) {
        const RawFormat& raw = *options.raw;
        input = av_find_input_format("rawvideo");
        av_dict_set(&dict, "video_size", size_text(raw.width, raw.height).c_str(), 0);
        av_dict_set(&dict, "pixel_format", raw.pixel_format.c_str(), 0);
    }
    const int ret = avformat_open_input(&opened, source.path.c_str(), input, &dict);
    av_dict_free(&dict);
    if (ret < 0) refuse(FailureKind::media_cannot_open, source.path, {}, av::error_text(ret));
    av::Input format(opened);
    const int index = source.state->stream;
    if (index >= static_cast<int>(format->nb_streams)) {
        refuse(FailureKind::media_changed, source.path);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    }
    av::Packet packet(av_packet_alloc());
    if (!packet) refuse(FailureKind::media_out_of_memory, source.path);
    const AVStream* stream = format->streams[index];
    int count = 0;
    std::int64_t packets = 0;           // dropped ones included, as the index counts them
    std::int64_t end = AV_NOPTS_VALUE;  // end of the last packet, stream time
    std::int64_t longest = 0;           // longest packet duration
    std::int64_t smallest_step = 0;     // smallest step between one packet's time and the next
    std::int64_t previous = AV_NOPTS_VALUE;
    std::int64_t last_start = AV_NOPTS_VALUE;  // latest packet time
    std::int64_t data_end = 0;                 // where the last packet's bytes end in the file
    const double time_base = av_q2d(stream->time_base);
    std::vector<double> times;
    for (;;) {
        const int r = av_read_frame(format.get(), packet.get());
        if (r == AVERROR_EOF) break;
        if (r < 0) {
            if (source.damage.empty()) source.damage = av::error_text(r);
            break;
        }
        if (packet->stream_index == index) ++packets;
        if (packet->pos >= 0)
            data_end = std::max<std::int64_t>(data_end, packet->pos + packet->size);
        if (packet->stream_index == index && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
            if (count == std::numeric_limits<int>::max()) break;
            ++count;
            if (packet->pts != AV_NOPTS_VALUE) {
                times.push_back(static_cast<double>(packet->pts) * time_base);
                if (previous != AV_NOPTS_VALUE && packet->pts > previous &&
                    (smallest_step == 0 || packet->pts - previous < smallest_step)) {
                    smallest_step = packet->pts - previous;
                }
                previous = packet->pts;
                if (last_start == AV_NOPTS_VALUE || packet->pts > last_start)
                    last_start = packet->pts;
                const std::int64_t stop = packet->pts + std::max<std::int64_t>(packet->duration, 0);
                if (end == AV_NOPTS_VALUE || stop > end) end = stop;
            }
            longest = std::max<std::int64_t>(longest, packet->duration);
        }
        av_packet_unref(packet.get());
    }
    std::sort(times.begin(), times.end());
    const AVRational stated = source.state->format->streams[index]->avg_frame_rate;
    source.frame_rate = stated.num > 0 && stated.den > 0 ? av_q2d(stated) : 0.0;
    if (times.size() == static_cast<std::size_t>(count)) source.times = times;
    // The libraries' complaint while reading the packets (the file ends before its container
    // does, a packet cannot be read) marks the stream damaged; its frames are then decoded to
    // see which come out (find_decodable).
    MediaState& st = *source.state;
    st.stated_start = stream->start_time != AV_NOPTS_VALUE
                          ? static_cast<double>(stream->start_time) * time_base
                          : (times.empty() ? 0.0 : times.front());
    st.stated_duration =
        format->duration > 0 ? static_cast<double>(format->duration) / AV_TIME_BASE : 0.0;
    if (!source.damage.empty() || options.allow_damaged) return count;
    // Frames back to back with nothing after them: a cut inside the last frame leaves bytes
    // that belong to no frame.
    const std::string demuxer = format->iformat->name;
    if ((demuxer == "yuv4mpegpipe" || demuxer == "rawvideo") && format->pb != nullptr &&
        avio_size(format->pb) > data_end) {
        refuse(FailureKind::media_last_frame_cut, source.path);
    }
    // A container that states its length (an index of frames, a duration written when the
    // file was finished) shows a file cut short between two frames.
    if (stream->nb_frames > packets) {
        refuse(FailureKind::media_index_short, source.path,
               {std::to_string(packets), std::to_string(stream->nb_frames)});
    }
    if (format->nb_streams == 1 && format->duration > 0 && end != AV_NOPTS_VALUE) {
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        // The last frame lasts its packet's duration, or the step between frames, or one frame
        // at the rate the container states; a quarter frame of slack absorbs rounding. A file
        // that gives none of these cannot be checked this way.
        const AVRational rate = source.state->format->streams[index]->avg_frame_rate;
        std::int64_t frame_time = std::max(longest, smallest_step);
        if (rate.num > 0 && rate.den > 0) {
            frame_time = std::max(frame_time, av_rescale_q(1, av_inv_q(rate), stream->time_base));
        }
        const std::int64_t stop = std::max(end, last_start + frame_time);
        // Containers differ in what their duration counts from: the first frame's time, or
        // time 0 (an MP4 whose first frame starts later, after a trim, states its end). The
        // frames must reach whichever is the shorter.
        const std::int64_t from = std::min<std::int64_t>(start, 0);
        const std::int64_t played =
            av_rescale_q(stop - from + frame_time / 4, stream->time_base, AV_TIME_BASE_Q);
        if (frame_time > 0 && played < format->duration) {
            refuse(FailureKind::media_duration_short, source.path);
        }
    }
    return count;
}

}  // namespace orv::media_internal
