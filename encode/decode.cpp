// Decoding the written bitstream back into 24-bit frames, and the encode-then-decode run that
// writes the degraded sequence.
// TODO(media): once the media library's video reader is on main, decoding and the YUV to RGB
// conversion go through it, so that there is one decoding path in the program.

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

#include "encode/av_support.h"
#include "encode/encoder.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "numeric/failure.h"

namespace orv {

namespace {

void check_av(int code, const std::string& what) {
    if (code < 0) raise_failure(what + ": " + av::error_text(code));
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One open video stream, decoded frame by frame in presentation order.
struct Decoder {
    std::string path;
    av::Input input;
    av::CodecContext context;
    av::Packet packet;
    av::Frame frame;
    av::Sws convert;
    int stream = -1;
    bool input_done = false;  // no more packets to read
    bool flushed = false;     // the decoder was told the input has ended
    std::map<std::int64_t, long long> packet_bytes;  // by presentation time
    std::vector<std::uint8_t> top_down;               // one converted frame, top row first
    int converted_format = -1, converted_width = 0, converted_height = 0;
};

void open_decoder(Decoder& d, const std::string& path) {
    d.path = path;
    AVFormatContext* raw = nullptr;
    int code = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (code < 0) raise_failure("cannot open " + path + ": " + av::error_text(code));
    d.input.reset(raw);
    check_av(avformat_find_stream_info(d.input.get(), nullptr), path + " is not a usable video");
    const AVCodec* codec = nullptr;
    d.stream = av_find_best_stream(d.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (d.stream < 0 || codec == nullptr) raise_failure(path + " holds no decodable video stream");
    const AVCodecParameters* parameters = d.input->streams[d.stream]->codecpar;
    if (parameters->codec_id == AV_CODEC_ID_AV1) {
        // The built-in AV1 decoder needs hardware; prefer the software ones.
        for (const char* name : {"libdav1d", "libaom-av1"}) {
            if (const AVCodec* c = avcodec_find_decoder_by_name(name)) {
                codec = c;
                break;
            }
        }
    }
    d.context.reset(avcodec_alloc_context3(codec));
    d.packet.reset(av_packet_alloc());
    d.frame.reset(av_frame_alloc());
    if (!d.context || !d.packet || !d.frame) raise_failure("out of memory");
    check_av(avcodec_parameters_to_context(d.context.get(), parameters), path);
    d.context->thread_count = 1;
    check_av(avcodec_open2(d.context.get(), codec, nullptr), "cannot decode " + path);
}

PixelBuffer convert_frame(Decoder& d, const AVFrame& f) {
    const int width = f.width;
    const int height = f.height;
    if (!d.convert || f.format != d.converted_format || width != d.converted_width ||
        height != d.converted_height) {
        d.convert.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(f.format), width,
                                       height, AV_PIX_FMT_BGR24, av::conversion_flags, nullptr,
                                       nullptr, nullptr));
        if (!d.convert) raise_failure("cannot convert the frames of " + d.path + " to RGB");
        d.converted_format = f.format;
        d.converted_width = width;
        d.converted_height = height;
    }
    const int full = f.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(d.convert.get(),
                             sws_getCoefficients(av::sws_colourspace(f.colorspace, height)), full,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    const int row = width * 3;
    d.top_down.resize(static_cast<std::size_t>(row) * static_cast<std::size_t>(height));
    std::uint8_t* out = d.top_down.data();
    sws_scale(d.convert.get(), f.data, f.linesize, 0, height, &out, &row);
    PixelBuffer pixels = make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(pixels.bytes.data() + static_cast<std::size_t>(height - 1 - y) * pixels.stride,
                    d.top_down.data() + static_cast<std::size_t>(y) * row,
                    static_cast<std::size_t>(row));
    }
    return pixels;
}

// The next frame in presentation order; false at the end of the stream.
bool next_frame(Decoder& d, PixelBuffer& pixels, CodedFrame& coded) {
    for (;;) {
        const int got = avcodec_receive_frame(d.context.get(), d.frame.get());
        if (got == 0) {
            const std::int64_t pts = d.frame->best_effort_timestamp;
            coded.type = av_get_picture_type_char(d.frame->pict_type);
            const auto found = d.packet_bytes.find(pts);
            coded.bytes = found != d.packet_bytes.end() ? found->second : 0;
            pixels = convert_frame(d, *d.frame);
            av_frame_unref(d.frame.get());
            return true;
        }
        if (got == AVERROR_EOF) return false;
        if (got != AVERROR(EAGAIN)) check_av(got, "cannot decode " + d.path);
        if (d.input_done) {
            if (d.flushed) return false;
            check_av(avcodec_send_packet(d.context.get(), nullptr), "cannot decode " + d.path);
            d.flushed = true;
            continue;
        }
        const int read = av_read_frame(d.input.get(), d.packet.get());
        if (read == AVERROR_EOF) {
            d.input_done = true;
            continue;
        }
        check_av(read, "cannot read " + d.path);
        if (d.packet->stream_index == d.stream) {
            d.packet_bytes[d.packet->pts] = d.packet->size;
            check_av(avcodec_send_packet(d.context.get(), d.packet.get()),
                     "cannot decode " + d.path);
        }
        av_packet_unref(d.packet.get());
    }
}

// Every file the run wrote, removed again unless the run completes.
struct WrittenFiles {
    std::vector<std::string> paths;
    bool keep = false;
    ~WrittenFiles() {
        if (keep) return;
        for (const std::string& path : paths) ::unlink(path.c_str());
    }
};

}  // namespace

struct VideoFrames {
    Decoder decoder;
    std::mutex lock;
    int next_index = 0;
    std::map<int, PixelBuffer> ahead;
};

void VideoFramesDeleter::operator()(VideoFrames* frames) const { delete frames; }

VideoFramesHandle open_video_frames(const std::string& path) {
    VideoFramesHandle frames(new VideoFrames);
    open_decoder(frames->decoder, path);
    return frames;
}

PixelBuffer take_video_frame(VideoFrames& frames, int index) {
    std::lock_guard<std::mutex> hold(frames.lock);
    while (frames.ahead.find(index) == frames.ahead.end()) {
        PixelBuffer pixels;
        CodedFrame coded;
        if (index < frames.next_index || !next_frame(frames.decoder, pixels, coded)) {
            raise_failure(frames.decoder.path + " has no frame " + std::to_string(index));
        }
        frames.ahead.emplace(frames.next_index++, std::move(pixels));
    }
    const auto found = frames.ahead.find(index);
    PixelBuffer pixels = std::move(found->second);
    frames.ahead.erase(found);
    return pixels;
}

std::vector<CodedFrame> decode_video(const std::string& path,
                                     const std::function<void(int, PixelBuffer&&)>& deliver) {
    Decoder decoder;
    open_decoder(decoder, path);
    std::vector<CodedFrame> frames;
    PixelBuffer pixels;
    CodedFrame coded;
    while (next_frame(decoder, pixels, coded)) {
        coded.index = static_cast<int>(frames.size());
        frames.push_back(coded);
        deliver(coded.index, std::move(pixels));
    }
    return frames;
}

std::vector<std::uint8_t> frame_header_block(int width, int height) {
    std::vector<std::uint8_t> block(header_block_size, 0);
    put_u32(block.data(), 40);
    put_u32(block.data() + 4, static_cast<std::uint32_t>(width));
    put_u32(block.data() + 8, static_cast<std::uint32_t>(height));
    block[12] = 1;   // planes
    block[14] = 24;  // bits per pixel
    put_u32(block.data() + 20,
            static_cast<std::uint32_t>(stride_for_width(width)) * static_cast<std::uint32_t>(height));
    return block;
}

EncodeSummary encode_and_decode(const FrameSource& source, const EncodeSettings& settings,
                                const std::string& base, std::vector<std::string>& decoded_paths,
                                const EncodeProgress& progress) {
    check_encode_settings(settings);
    const std::string bitstream = base + ".mp4";
    std::vector<std::string> names;
    names.push_back(bitstream);
    for (int i = 0; i < source.count; ++i) names.push_back(numbered_name(base, i));
    for (const std::string& name : names) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(name, error))) {
            raise_failure(name + " already exists; it is never overwritten");
        }
    }

    const int total = 2 * source.count;
    EncodeProgress encoding;
    if (progress) encoding = [&](int done, int) { progress(done, total); };
    EncodeSummary summary = encode_sequence(source, settings, bitstream, encoding);
    WrittenFiles written;
    written.paths.push_back(bitstream);

    std::vector<CodedFrame> decoded = decode_video(bitstream, [&](int i, PixelBuffer&& pixels) {
        if (i >= source.count) return;
        const std::string& name = names[static_cast<std::size_t>(i) + 1];
        FileMessage message;
        if (write_bmp_frame(name, pixels, frame_header_block(pixels.width, pixels.height),
                            &message) != 0) {
            raise_failure("cannot write " + name + ": " + message.text);
        }
        written.paths.push_back(name);
        if (progress) progress(source.count + i + 1, total);
    });
    if (static_cast<int>(decoded.size()) != source.count) {
        raise_failure(bitstream + " decodes to " + std::to_string(decoded.size()) +
                      " frames, not the " + std::to_string(source.count) + " encoded");
    }
    // The decoder's picture types are the stream's own; the sizes come from the encoder.
    for (std::size_t i = 0; i < decoded.size() && i < summary.frames.size(); ++i) {
        summary.frames[i].type = decoded[i].type;
    }
    decoded_paths.assign(names.begin() + 1, names.end());
    written.keep = true;
    return summary;
}

}  // namespace orv
