// The encoders: each codec round trip, the decoded frames against an independent decode and the
// published BT.709 / BT.601 formulas, bitrate accuracy, byte-identical repeats, refusals, and no
// files left behind by a failed run.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "encode/encoder.h"
#include "image/bmp_file.h"
#include "numeric/failure.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// A moving scene: gradients, a disc that travels, and deterministic noise, so that the
// encoders have real work (motion and detail) at every frame.
PixelBuffer scene_frame(int width, int height, int index) {
    PixelBuffer p = make_pixel_buffer(width, height);
    std::uint32_t state = 12345u + static_cast<std::uint32_t>(index) * 7919u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>((state >> 24) % 25) - 12;
            const double cx = x - (width * 0.2 + 2.0 * index), cy = y - height * 0.5;
            const bool disc = cx * cx + cy * cy < (height * 0.3) * (height * 0.3);
            std::uint8_t* px = &p.bytes[static_cast<std::size_t>(y) * p.stride + 3u * x];
            auto clamp = [](int v) {
                return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            px[0] = clamp((disc ? 40 : 255 * y / height) + noise);
            px[1] = clamp((disc ? 200 : 120 + index) + noise);
            px[2] = clamp((disc ? 230 : 255 * x / width) + noise);
        }
    }
    return p;
}

FrameSource scene(int width, int height, int count) {
    FrameSource source;
    source.count = count;
    source.read = [width, height](int i) { return scene_frame(width, height, i); };
    return source;
}

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

EncodeSettings settings_for(const std::string& codec, RateControl rate, double value) {
    EncodeSettings s;
    s.codec = codec;
    s.rate = rate;
    s.value = value;
    if (codec == "av1") s.preset = "8";
    if (codec != "av1") s.preset = "veryfast";
    return s;
}

// The YUV planes of every frame, decoded here with libavformat and libavcodec directly.
struct YuvFrame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, u, v;  // 4:4:4
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

std::vector<YuvFrame> decode_yuv444(const std::string& path) {
    std::vector<YuvFrame> frames;
    AVFormatContext* input = nullptr;
    EXPECT_EQ(avformat_open_input(&input, path.c_str(), nullptr, nullptr), 0);
    EXPECT_GE(avformat_find_stream_info(input, nullptr), 0);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (input->streams[stream]->codecpar->codec_id == AV_CODEC_ID_AV1) {
        codec = avcodec_find_decoder_by_name("libdav1d");
        if (codec == nullptr) codec = avcodec_find_decoder_by_name("libaom-av1");
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, input->streams[stream]->codecpar);
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            // Full range H.264 decodes as the older full-range name of the same layout.
            EXPECT_TRUE(frame->format == AV_PIX_FMT_YUV444P ||
                        frame->format == AV_PIX_FMT_YUVJ444P);
            YuvFrame f;
            f.width = frame->width;
            f.height = frame->height;
            f.space = frame->colorspace;
            f.range = frame->color_range;
            for (int plane = 0; plane < 3; ++plane) {
                std::vector<std::uint8_t>& out = plane == 0 ? f.y : plane == 1 ? f.u : f.v;
                for (int row = 0; row < f.height; ++row) {
                    const std::uint8_t* src = frame->data[plane] + row * frame->linesize[plane];
                    out.insert(out.end(), src, src + f.width);
                }
            }
            frames.push_back(std::move(f));
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == stream) avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        receive();
    }
    avcodec_send_packet(context, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&input);
    return frames;
}

// R'G'B' from Y'CbCr by the published equations: ITU-R BT.709-6 item 3.2 (Kr 0.2126,
// Kb 0.0722) and BT.601-7 (Kr 0.299, Kb 0.114); limited range scales Y by 219 and Cb, Cr
// by 224 about 16 and 128 (BT.709-6 item 6.10), full range by 255 about 0 and 128.
std::array<double, 3> formula_rgb(double y, double cb, double cr, double kr, double kb, bool full) {
    const double luma = full ? y / 255.0 : (y - 16.0) / 219.0;
    const double pb = (cb - 128.0) / (full ? 255.0 : 224.0);
    const double pr = (cr - 128.0) / (full ? 255.0 : 224.0);
    const double kg = 1.0 - kr - kb;
    const double r = luma + 2.0 * (1.0 - kr) * pr;
    const double b = luma + 2.0 * (1.0 - kb) * pb;
    const double g = (luma - kr * r - kb * b) / kg;
    return {r * 255.0, g * 255.0, b * 255.0};
}

struct RoundTripCase {
    const char* name;
    const char* codec;
    const char* matrix;
    const char* range;
};

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

// Each codec encodes and decodes; the BMP files hold exactly what a plain decode of the written
// file gives, converted by the formula of the matrix and range the stream is tagged with.
TEST_P(RoundTrip, DecodedFilesAreTheStreamsFramesByTheFormula) {
    const RoundTripCase& c = GetParam();
    test::TempFolder folder;
    EncodeSettings s =
        settings_for(c.codec, RateControl::crf, c.codec == std::string("av1") ? 30 : 20);
    s.pix_fmt = "yuv444p";
    s.matrix = c.matrix;
    s.range = c.range;
    const int width = 64, height = 32, count = 4;
    std::vector<std::string> decoded;
    const std::string base = folder.file("out");
    const EncodeSummary summary = encode_and_decode(scene(width, height, count), s, base, decoded);
    ASSERT_EQ(decoded.size(), static_cast<std::size_t>(count));
    ASSERT_EQ(summary.frames.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(summary.frames[0].type, 'I');
    long long sum = 0;
    for (const CodedFrame& f : summary.frames) sum += f.bytes;
    EXPECT_EQ(sum, summary.stream_bytes);
    EXPECT_GT(summary.file_bytes, summary.stream_bytes);

    const std::vector<YuvFrame> yuv = decode_yuv444(base + ".mp4");
    ASSERT_EQ(yuv.size(), static_cast<std::size_t>(count));
    const bool full = std::string(c.range) == "full";
    const bool bt601 = std::string(c.matrix) == "bt601";
    const double kr = bt601 ? 0.299 : 0.2126, kb = bt601 ? 0.114 : 0.0722;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(yuv[i].space, bt601 ? AVCOL_SPC_SMPTE170M : AVCOL_SPC_BT709);
        EXPECT_EQ(yuv[i].range, full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG);
        PixelBuffer pixels;
        HeaderBlock header;
        ASSERT_GT(read_bmp_frame(decoded[i], pixels, header), 0);
        ASSERT_EQ(pixels.width, width);
        int worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t k = static_cast<std::size_t>(y) * width + x;
                const auto rgb = formula_rgb(yuv[i].y[k], yuv[i].u[k], yuv[i].v[k], kr, kb, full);
                // Top row of the picture is the last stored row.
                const std::uint8_t* px =
                    &pixels
                         .bytes[static_cast<std::size_t>(height - 1 - y) * pixels.stride + 3u * x];
                for (int ch = 0; ch < 3; ++ch) {
                    const double want = std::clamp(std::round(rgb[ch]), 0.0, 255.0);
                    worst = std::max(worst, static_cast<int>(std::abs(px[2 - ch] - want)));
                }
            }
        }
        EXPECT_LE(worst, 1) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, RoundTrip,
    testing::Values(RoundTripCase{"h264_bt709_limited", "h264", "bt709", "limited"},
                    RoundTripCase{"hevc_bt709_limited", "hevc", "bt709", "limited"},
                    RoundTripCase{"av1_bt709_limited", "av1", "bt709", "limited"},
                    RoundTripCase{"h264_bt601_full", "h264", "bt601", "full"}),
    [](const auto& info) { return std::string(info.param.name); });

class Repeat : public testing::TestWithParam<const char*> {};

// Same input, same settings: the same file, byte for byte; 4:2:0 and the same pictures come
// back in order (the encoder's own picture sizes).
TEST_P(Repeat, TwoRunsGiveIdenticalBitstreams) {
    test::TempFolder folder;
    const EncodeSettings s = settings_for(GetParam(), RateControl::qp, 30);
    const EncodeSummary a = encode_sequence(scene(64, 48, 8), s, folder.file("a.mp4"));
    const EncodeSummary b = encode_sequence(scene(64, 48, 8), s, folder.file("b.mp4"));
    EXPECT_EQ(bytes_of(folder.file("a.mp4")), bytes_of(folder.file("b.mp4")));
    EXPECT_EQ(a.stream_bytes, b.stream_bytes);
    int frames = 0;
    decode_video(folder.file("a.mp4"), [&](int i, PixelBuffer&& p) {
        EXPECT_EQ(i, frames++);
        EXPECT_EQ(p.width, 64);
        EXPECT_EQ(p.height, 48);
    });
    EXPECT_EQ(frames, 8);
}

INSTANTIATE_TEST_SUITE_P(Codecs, Repeat, testing::Values("h264", "hevc", "av1"));

class Bitrate : public testing::TestWithParam<const char*> {};

TEST_P(Bitrate, MeetsTheTargetWithinFifteenPercentOverSixtyFrames) {
    test::TempFolder folder;
    const double target = 300000.0;
    const EncodeSettings s = settings_for(GetParam(), RateControl::bitrate, target);
    const EncodeSummary summary = encode_sequence(scene(160, 96, 60), s, folder.file("r.mp4"));
    EXPECT_NEAR(summary.bitrate, target, 0.15 * target) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Codecs, Bitrate, testing::Values("h264", "hevc", "av1"));

struct RefusalCase {
    const char* name;
    EncodeSettings settings;
    const char* words;  // the message names what is wrong
};

EncodeSettings with(void (*change)(EncodeSettings&)) {
    EncodeSettings s;
    change(s);
    return s;
}

TEST(EncodeSettings, OutOfRangeSettingsAreRefusedByName) {
    const std::vector<RefusalCase> cases = {
        {"unknown codec", with([](EncodeSettings& s) { s.codec = "vp9"; }),
         "unknown codec \"vp9\""},
        {"crf above 51", with([](EncodeSettings& s) { s.value = 52; }), "CRF 52 is out of range"},
        {"negative crf", with([](EncodeSettings& s) { s.value = -1; }), "CRF -1 is out of range"},
        {"qp above 51", with([](EncodeSettings& s) {
             s.rate = RateControl::qp;
             s.value = 52;
         }),
         "QP 52 is out of range"},
        {"fractional qp", with([](EncodeSettings& s) {
             s.rate = RateControl::qp;
             s.value = 2.5;
         }),
         "QP 2.5"},
        {"av1 crf above 63", with([](EncodeSettings& s) {
             s.codec = "av1";
             s.value = 64;
         }),
         "CRF 64 is out of range"},
        {"av1 fractional crf", with([](EncodeSettings& s) {
             s.codec = "av1";
             s.value = 30.5;
         }),
         "whole numbers"},
        {"bitrate 0", with([](EncodeSettings& s) {
             s.rate = RateControl::bitrate;
             s.value = 0;
         }),
         "bitrate 0 is out of range"},
        {"unknown preset", with([](EncodeSettings& s) { s.preset = "fastest"; }),
         "unknown preset \"fastest\""},
        {"av1 preset name", with([](EncodeSettings& s) {
             s.codec = "av1";
             s.preset = "medium";
         }),
         "unknown preset \"medium\""},
        {"pixel format", with([](EncodeSettings& s) { s.pix_fmt = "yuv422p"; }), "yuv422p"},
        {"frame rate 0", with([](EncodeSettings& s) { s.fps = 0; }), "frame rate 0"},
        {"negative gop", with([](EncodeSettings& s) { s.gop = -2; }), "GOP -2"},
        {"matrix", with([](EncodeSettings& s) { s.matrix = "smpte240m"; }), "smpte240m"},
        {"range", with([](EncodeSettings& s) { s.range = "tv"; }), "\"tv\""},
    };
    for (const RefusalCase& c : cases) {
        try {
            check_encode_settings(c.settings);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const Failure& failure) {
            EXPECT_NE(orv::failure_text(failure).find(c.words), std::string::npos)
                << c.name << ": " << orv::failure_text(failure);
        }
    }
}

TEST(EncodeSettings, BitrateTextsAndLabels) {
    struct Case {
        const char* text;
        double rate;
    };
    for (const Case& c :
         {Case{"800k", 800000}, Case{"1.5M", 1500000}, Case{"250000", 250000}, Case{"0", 0},
          Case{"-5k", 0}, Case{"fast", 0}, Case{"8kb", 0}, Case{"", 0}}) {
        EXPECT_EQ(parse_bitrate(c.text), c.rate) << c.text;
    }
    EncodeSettings s;
    s.rate = RateControl::bitrate;
    s.value = 800000;
    EXPECT_EQ(setting_label(s), "bitrate800k");
    s.value = 2000000;
    EXPECT_EQ(setting_label(s), "bitrate2M");
    s.rate = RateControl::crf;
    s.value = 23.5;
    EXPECT_EQ(setting_label(s), "crf23.5");
}

// Failed runs leave no file behind: odd sizes with 4:2:0 (refused, not padded), frames of
// different sizes, an existing output (untouched), an unreadable frame part-way.
TEST(EncodeAndDecode, FailedRunsLeaveNothingAndNeverOverwrite) {
    struct Case {
        const char* name;
        int width, height;
        const char* pix_fmt;  // "hevc": yuv420p with libx265
        int bad_frame;        // frame of another size, -1 none
        bool existing_bitstream;
        const char* words;
    };
    const Case cases[] = {
        {"odd width", 33, 32, "yuv420p", -1, false, "even width and height"},
        {"odd height", 32, 33, "yuv420p", -1, false, "refused rather than padded"},
        {"size changes", 32, 32, "yuv420p", 2, false, "frame 2 is 16 x 16 but frame 0 is 32 x 32"},
        {"existing output", 32, 32, "yuv420p", -1, true, "already exists"},
        {"hevc narrower than 64", 48, 32, "hevc", -1, false, "at least 64 pixels of width"},
    };
    for (const Case& c : cases) {
        test::TempFolder folder;
        if (c.existing_bitstream) {
            std::ofstream(folder.file("out.mp4")) << "keep";
        }
        FrameSource source;
        source.count = 4;
        source.read = [&c](int i) {
            return i == c.bad_frame ? scene_frame(16, 16, i) : scene_frame(c.width, c.height, i);
        };
        const bool hevc = std::string(c.pix_fmt) == "hevc";
        EncodeSettings s = settings_for(hevc ? "hevc" : "h264", RateControl::crf, 23);
        s.pix_fmt = hevc ? "yuv420p" : c.pix_fmt;
        std::vector<std::string> decoded;
        try {
            encode_and_decode(source, s, folder.file("out"), decoded);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const Failure& failure) {
            EXPECT_NE(orv::failure_text(failure).find(c.words), std::string::npos)
                << orv::failure_text(failure);
        }
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(folder.path)) {
            left.push_back(entry.path().filename().string());
        }
        if (c.existing_bitstream) {
            EXPECT_EQ(left, std::vector<std::string>{"out.mp4"});
            EXPECT_EQ(bytes_of(folder.file("out.mp4")), "keep");
        } else {
            EXPECT_TRUE(left.empty()) << c.name << ": " << left.front();
        }
    }
    // Odd sizes are fine in 4:4:4.
    test::TempFolder folder;
    EncodeSettings s = settings_for("h264", RateControl::crf, 23);
    s.pix_fmt = "yuv444p";
    std::vector<std::string> decoded;
    encode_and_decode(scene(33, 31, 2), s, folder.file("odd"), decoded);
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_GT(read_bmp_frame(decoded[1], pixels, header), 0);
    EXPECT_EQ(pixels.width, 33);
    EXPECT_EQ(pixels.height, 31);
}

}  // namespace
}  // namespace orv
