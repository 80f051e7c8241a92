// Counting a file's frames in a pass over its container without decoding, and recognising a
// file cut short from what its packets and its container say.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "media/media_internal.h"

namespace orv::media_internal {

int count_frames(const MediaSource& source, const MediaOptions& options) {
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
    for (;;) {
        const int r = av_read_frame(format.get(), packet.get());
        if (r == AVERROR_EOF) break;
        if (r < 0) {
            refuse(FailureKind::media_corrupt, source.path, {}, av::error_text(r));
        }
        if (packet->stream_index == index) ++packets;
        if (packet->pos >= 0)
            data_end = std::max<std::int64_t>(data_end, packet->pos + packet->size);
        if (packet->stream_index == index && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
            if (count == std::numeric_limits<int>::max()) break;
            ++count;
            if (packet->pts != AV_NOPTS_VALUE) {
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
        const std::int64_t played =
            av_rescale_q(stop - start + frame_time / 4, stream->time_base, AV_TIME_BASE_Q);
        if (frame_time > 0 && played < format->duration) {
            refuse(FailureKind::media_duration_short, source.path);
        }
    }
    return count;
}

}  // namespace orv::media_internal
