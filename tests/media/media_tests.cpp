// Media input. Conversion values are checked against the Y'CbCr to R'G'B' formula of
// ITU-R BT.601-7, BT.709-6 and BT.2020-2 (non-constant luminance), with the limited and full
// ranges of ITU-T H.273 (Kr, Kb: BT.601 0.299/0.114, BT.709 0.2126/0.0722, BT.2020
// 0.2627/0.0593). Every file is written by the libraries at run time.

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "image/bmp_file.h"
#include "media/media_sequence.h"
#include "media/media_source.h"
#include "media/raw_format.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using test::TempFolder;

// A planar Y'CbCr picture with random codes over each depth's whole range.
struct Picture {
    int width = 0, height = 0, depth = 8, sx = 0, sy = 0;
    std::vector<int> y, cb, cr;
    int cw() const { return (width + (1 << sx) - 1) >> sx; }
    int ch() const { return (height + (1 << sy) - 1) >> sy; }
};

Picture random_picture(int width, int height, int depth, int sx, int sy, unsigned seed) {
    Picture p{width, height, depth, sx, sy, {}, {}, {}};
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> code(0, (1 << depth) - 1);
    for (int i = 0; i < width * height; ++i) p.y.push_back(code(random));
    for (int i = 0; i < p.cw() * p.ch(); ++i) {
        p.cb.push_back(code(random));
        p.cr.push_back(code(random));
    }
    return p;
}

// The raw file of the picture: planes Y, Cb, Cr, samples of 2 bytes little-endian above 8 bits.
std::vector<std::uint8_t> raw_bytes(const std::vector<Picture>& frames) {
    std::vector<std::uint8_t> bytes;
    for (const Picture& p : frames) {
        for (const std::vector<int>* plane : {&p.y, &p.cb, &p.cr}) {
            for (int v : *plane) {
                bytes.push_back(static_cast<std::uint8_t>(v));
                if (p.depth > 8) bytes.push_back(static_cast<std::uint8_t>(v >> 8));
            }
        }
    }
    return bytes;
}

test::FrameFiller picture_frames(const std::vector<Picture>& frames) {
    return [frames](int index, AVFrame& frame) {
        const Picture& p = frames.at(static_cast<std::size_t>(index));
        const std::vector<int>* planes[3] = {&p.y, &p.cb, &p.cr};
        for (int c = 0; c < 3; ++c) {
            const int w = c == 0 ? p.width : p.cw();
            const int h = c == 0 ? p.height : p.ch();
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const int v = (*planes[c])[static_cast<std::size_t>(y * w + x)];
                    std::uint8_t* at = frame.data[c] + y * frame.linesize[c];
                    if (p.depth > 8) {
                        at[2 * x] = static_cast<std::uint8_t>(v);
                        at[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                    } else {
                        at[x] = static_cast<std::uint8_t>(v);
                    }
                }
            }
        }
    };
}

struct Weights {
    double kr, kb;
};
Weights weights_of(YuvMatrix m) {
    if (m == YuvMatrix::bt601) return {0.299, 0.114};
    if (m == YuvMatrix::bt709) return {0.2126, 0.0722};
    return {0.2627, 0.0593};
}

// 255 R', 255 G', 255 B' of one sample triple, straight from the published equations.
std::array<double, 3> formula(int Y, int Cb, int Cr, int n, YuvMatrix m, YuvRange range) {
    const Weights w = weights_of(m);
    const double kg = 1 - w.kr - w.kb;
    double ey, epb, epr;
    if (range == YuvRange::limited) {
        ey = (Y - 16 * std::pow(2, n - 8)) / (219 * std::pow(2, n - 8));
        epb = (Cb - std::pow(2, n - 1)) / (224 * std::pow(2, n - 8));
        epr = (Cr - std::pow(2, n - 1)) / (224 * std::pow(2, n - 8));
    } else {
        ey = Y / (std::pow(2, n) - 1);
        epb = (Cb - std::pow(2, n - 1)) / (std::pow(2, n) - 1);
        epr = (Cr - std::pow(2, n - 1)) / (std::pow(2, n) - 1);
    }
    const double r = ey + 2 * (1 - w.kr) * epr;
    const double b = ey + 2 * (1 - w.kb) * epb;
    const double g = (ey - w.kr * r - w.kb * b) / kg;
    return {255 * r, 255 * g, 255 * b};
}

// Every pixel within 1 of the formula's rounded value, and equal to it wherever the formula's
// value is not within 0.01 of a rounding boundary. Chroma is the sample whose area holds the
// pixel. Returns the number of mismatches.
int compare_with_formula(const Picture& p, const PixelBuffer& out, YuvMatrix m, YuvRange range) {
    int bad = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const std::size_t ci = static_cast<std::size_t>((y >> p.sy) * p.cw() + (x >> p.sx));
            const auto rgb = formula(p.y[static_cast<std::size_t>(y * p.width + x)], p.cb[ci],
                                     p.cr[ci], p.depth, m, range);
            const std::uint8_t* px =
                out.bytes.data() + static_cast<std::size_t>(p.height - 1 - y) * out.stride + 3 * x;
            const int got[3] = {px[2], px[1], px[0]};
            for (int c = 0; c < 3; ++c) {
                const double v = std::clamp(rgb[c], 0.0, 255.0);
                const int want = static_cast<int>(std::floor(v + 0.5));
                const double frac = v - std::floor(v);
                const bool near_boundary = std::abs(frac - 0.5) < 0.01;
                if (std::abs(got[c] - want) > 1 || (!near_boundary && got[c] != want)) ++bad;
            }
        }
    }
    return bad;
}

std::vector<PixelBuffer> read_all(const std::string& path, const MediaOptions& options = {},
                                  std::string* colour = nullptr) {
    MediaSource source = open_media(path, options);
    if (colour != nullptr) *colour = source.colour;
    std::vector<PixelBuffer> frames;
    PixelBuffer pixels;
    HeaderBlock header;
    while (next_frame(source, pixels, header)) {
        EXPECT_EQ(header_width(header), pixels.width);
        EXPECT_EQ(header_height(header), pixels.height);
        frames.push_back(pixels);
    }
    EXPECT_EQ(static_cast<int>(frames.size()), source.frame_count);
    return frames;
}

// --- Conversion of raw files: three matrices, two ranges, 8 and 10 bits, three subsamplings.

struct RawCase {
    const char* pixel_format;
    int depth, sx, sy;
    YuvMatrix matrix;
    YuvRange range;
};

class RawConversion : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawConversion, MatchesTheFormula) {
    const RawCase& c = GetParam();
    TempFolder temp;
    std::vector<Picture> frames = {random_picture(34, 18, c.depth, c.sx, c.sy, 1),
                                   random_picture(34, 18, c.depth, c.sx, c.sy, 2)};
    const std::string path = temp.file("clip.yuv");
    test::write_bytes(path, raw_bytes(frames));
    MediaOptions options;
    options.matrix = c.matrix;
    options.range = c.range;
    options.raw = RawFormat{34, 18, c.pixel_format, 25, 1};
    const std::vector<PixelBuffer> out = read_all(path, options);
    ASSERT_EQ(out.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(compare_with_formula(frames[i], out[i], c.matrix, c.range), 0) << "frame " << i;
    }
}

std::vector<RawCase> raw_cases() {
    std::vector<RawCase> cases;
    const RawCase layouts[] = {
        {"yuv444p", 8, 0, 0, {}, {}},      {"yuv420p", 8, 1, 1, {}, {}},
        {"yuv422p", 8, 1, 0, {}, {}},      {"yuv420p10le", 10, 1, 1, {}, {}},
        {"yuv444p10le", 10, 0, 0, {}, {}}, {"yuv422p10le", 10, 1, 0, {}, {}}};
    for (RawCase layout : layouts) {
        for (YuvMatrix m : {YuvMatrix::bt601, YuvMatrix::bt709, YuvMatrix::bt2020}) {
            for (YuvRange r : {YuvRange::limited, YuvRange::full}) {
                layout.matrix = m;
                layout.range = r;
                cases.push_back(layout);
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(MatricesRangesDepths, RawConversion, ::testing::ValuesIn(raw_cases()));

// --- Files from encoders and muxers: tags and the untagged rule decide the conversion.

struct EncodedCase {
    const char* name;
    test::VideoSpec spec;
    int depth, sx, sy;
    YuvMatrix matrix;  // what the file's tags or the size rule give
    YuvRange range;
    const char* colour_words;  // part of the stated colour handling
};

class EncodedConversion : public ::testing::TestWithParam<EncodedCase> {};

TEST_P(EncodedConversion, TagsOrSizeRuleAndTheFormula) {
    const EncodedCase& c = GetParam();
    TempFolder temp;
    std::vector<Picture> frames;
    for (unsigned i = 0; i < 3; ++i) {
        frames.push_back(random_picture(c.spec.width, c.spec.height, c.depth, c.sx, c.sy, 10 + i));
    }
    const std::string path = temp.file(c.name);
    ASSERT_EQ(test::write_video(path, c.spec, 3, picture_frames(frames)), "");
    std::string colour;
    const std::vector<PixelBuffer> out = read_all(path, {}, &colour);
    EXPECT_NE(colour.find(c.colour_words), std::string::npos) << colour;
    ASSERT_EQ(out.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(compare_with_formula(frames[i], out[i], c.matrix, c.range), 0) << "frame " << i;
    }
}

test::VideoSpec spec(const char* container, const char* codec, const char* format, int w, int h,
                     int space = AVCOL_SPC_UNSPECIFIED, int range = AVCOL_RANGE_UNSPECIFIED) {
    test::VideoSpec s;
    s.container = container;
    s.codec = codec;
    s.pixel_format = format;
    s.width = w;
    s.height = h;
    s.colorspace = space;
    s.color_range = range;
    if (std::string(codec) == "libx264") s.codec_options = {{"qp", "0"}, {"preset", "ultrafast"}};
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, EncodedConversion,
    ::testing::Values(
        EncodedCase{"y444.y4m", spec("yuv4mpegpipe", "wrapped_avframe", "yuv444p", 20, 14), 8, 0, 0,
                    YuvMatrix::bt601, YuvRange::limited, "BT.601 (untagged, below 720 lines)"},
        EncodedCase{"y420.y4m", spec("yuv4mpegpipe", "wrapped_avframe", "yuv420p", 21, 15), 8, 1, 1,
                    YuvMatrix::bt601, YuvRange::limited, "limited range (untagged)"},
        EncodedCase{"tall.y4m", spec("yuv4mpegpipe", "wrapped_avframe", "yuv420p", 8, 720), 8, 1, 1,
                    YuvMatrix::bt709, YuvRange::limited, "BT.709 (untagged, 720 lines or more)"},
        EncodedCase{
            "h264.mp4",
            spec("mp4", "libx264", "yuv420p", 32, 16, AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_JPEG), 8, 1,
            1, YuvMatrix::bt2020, YuvRange::full, "BT.2020 (tagged), full range (tagged)"},
        EncodedCase{
            "h264.mkv",
            spec("matroska", "libx264", "yuv420p10le", 32, 16, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG),
            10, 1, 1, YuvMatrix::bt709, YuvRange::limited, "BT.709 (tagged)"}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == '.') ch = '_';
        return n;
    });

TEST(ColourChoice, OverridesBeatTagsBeatTheSizeRule) {
    struct Row {
        std::optional<YuvMatrix> tag;
        std::optional<YuvRange> range_tag;
        int height;
        std::optional<YuvMatrix> asked;
        std::optional<YuvRange> range_asked;
        YuvMatrix matrix;
        YuvRange range;
    };
    const Row rows[] = {
        {{}, {}, 719, {}, {}, YuvMatrix::bt601, YuvRange::limited},
        {{}, {}, 720, {}, {}, YuvMatrix::bt709, YuvRange::limited},
        {YuvMatrix::bt601, YuvRange::full, 1080, {}, {}, YuvMatrix::bt601, YuvRange::full},
        {YuvMatrix::bt709,
         {},
         480,
         YuvMatrix::bt2020,
         YuvRange::full,
         YuvMatrix::bt2020,
         YuvRange::full},
        {{}, {}, 2160, YuvMatrix::bt601, {}, YuvMatrix::bt601, YuvRange::limited},
    };
    for (const Row& r : rows) {
        MediaOptions options;
        options.matrix = r.asked;
        options.range = r.range_asked;
        const ColourChoice choice = choose_colour(r.tag, r.range_tag, r.height, options);
        EXPECT_EQ(choice.colour.matrix, r.matrix) << choice.text;
        EXPECT_EQ(choice.colour.range, r.range) << choice.text;
    }
}

// --- RGB sources: exact copies, alpha on black, 16 bits rounded to 8.

std::vector<PixelBuffer> sample_frames() {
    std::vector<PixelBuffer> frames;
    for (int i = 0; i < 3; ++i) {
        PixelBuffer pixels;
        HeaderBlock header;
        const std::string path =
            std::string(ORV_SAMPLES_DIR) + "/reference_000" + std::to_string(i) + ".bmp";
        EXPECT_GT(read_bmp_frame(path, pixels, header), 0) << path;
        frames.push_back(std::move(pixels));
    }
    return frames;
}

TEST(RgbSources, LosslessVideoOfTheSamplesGivesTheBmpPixels) {
    TempFolder temp;
    const std::vector<PixelBuffer> bmp = sample_frames();
    for (const char* format : {"bgr0", "bgr24"}) {
        const std::string path = temp.file(std::string(format) + ".video");
        const bool ffv1 = format == std::string("bgr0");
        test::VideoSpec s = spec(ffv1 ? "matroska" : "avi", ffv1 ? "ffv1" : "rawvideo", format,
                                 bmp[0].width, bmp[0].height);
        ASSERT_EQ(test::write_video(path, s, 3, test::bgr_frames(bmp)), "");
        const std::vector<PixelBuffer> out = read_all(path);
        ASSERT_EQ(out.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(out[i].stride, bmp[i].stride);
            EXPECT_TRUE(out[i].bytes == bmp[i].bytes) << format << " frame " << i;
        }
    }
}

TEST(RgbSources, SixteenBitPngWithAlphaIsCompositedOnBlackAndRounded) {
    TempFolder temp;
    const int w = 7, h = 5;
    auto value = [](int x, int y, int c) {
        return static_cast<unsigned>((x * 9973 + y * 30011 + c * 17389) * 7919) % 65536u;
    };
    auto fill = [&](int, AVFrame& frame) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 4; ++c) {
                    std::uint8_t* p = frame.data[0] + y * frame.linesize[0] + 8 * x + 2 * c;
                    p[0] = static_cast<std::uint8_t>(value(x, y, c) >> 8);  // big-endian
                    p[1] = static_cast<std::uint8_t>(value(x, y, c));
                }
            }
        }
    };
    const std::string path = temp.file("deep.png");
    ASSERT_EQ(test::write_video(path, spec("", "png", "rgba64be", w, h), 1, fill), "");
    std::string colour;
    const std::vector<PixelBuffer> out = read_all(path, {}, &colour);
    EXPECT_NE(colour.find("alpha composited on black"), std::string::npos) << colour;
    ASSERT_EQ(out.size(), 1u);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* px = out[0].bytes.data() + (h - 1 - y) * out[0].stride + 3 * x;
            for (int c = 0; c < 3; ++c) {
                const double want = std::round(value(x, y, c) / 257.0 * value(x, y, 3) / 65535.0);
                EXPECT_NEAR(px[2 - c], want, 0.5001) << x << "," << y << " channel " << c;
            }
        }
    }
}

// --- Refusals: one message naming the file, nothing read.

std::string refusal(const std::string& path, const MediaOptions& options = {}) {
    try {
        read_all(path, options);
    } catch (const Failure& error) {
        EXPECT_EQ(error.path, path);
        EXPECT_EQ(orv::failure_text(error).find('\n'), std::string::npos);
        return orv::failure_text(error);
    }
    return "(accepted)";
}

TEST(BadInput, EachIsRefusedWithAMessageNamingTheFile) {
    TempFolder temp;
    const std::string text = temp.file("notes.txt");
    test::write_bytes(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::string empty = temp.file("empty.mp4");
    test::write_bytes(empty, {});
    // A WAV file: sound only.
    std::vector<std::uint8_t> wav = {
        'R', 'I', 'F', 'F', 36 + 8, 0, 0,    0,    'W', 'A', 'V',  'E',  'f', 'm', 't', ' ', 16, 0,
        0,   0,   1,   0,   1,      0, 0x40, 0x1F, 0,   0,   0x80, 0x3E, 0,   0,   2,   0,   16, 0,
        'd', 'a', 't', 'a', 8,      0, 0,    0,    0,   0,   1,    0,    2,   0,   3,   0};
    const std::string sound = temp.file("sound.wav");
    test::write_bytes(sound, wav);
    const std::string raw = temp.file("short.yuv");
    test::write_bytes(raw, std::vector<std::uint8_t>(100, 16));
    MediaOptions raw_options;
    raw_options.raw = RawFormat{4, 4, "yuv420p", 25, 1};

    struct Row {
        std::string path;
        MediaOptions options;
        const char* words;
    };
    const Row rows[] = {
        {text, {}, "not a video or image file"},
        {empty, {}, ""},
        {sound, {}, "no video stream"},
        {raw, raw_options, "holds 100 bytes, not a whole number of 4x4 yuv420p frames of 24 bytes"},
        {raw, {}, "needs --size WxH and --pix-fmt NAME"},
        {temp.file("missing.mkv"), {}, "cannot open"},
    };
    for (const Row& row : rows) {
        const std::string message = refusal(row.path, row.options);
        EXPECT_EQ(message.rfind(row.path, 0), 0u) << message;
        EXPECT_NE(message.find(row.words), std::string::npos) << message;
    }
}

TEST(BadInput, AFrameSizeChangeInsideAStreamIsRefused) {
    TempFolder temp;
    // Two H.264 elementary streams of different sizes, one after the other.
    const std::string a = temp.file("a.h264"), b = temp.file("b.h264"),
                      both = temp.file("both.h264");
    ASSERT_EQ(
        test::write_video(a, spec("h264", "libx264", "yuv420p", 32, 16), 2, test::pattern_frames()),
        "");
    ASSERT_EQ(
        test::write_video(b, spec("h264", "libx264", "yuv420p", 48, 32), 2, test::pattern_frames()),
        "");
    std::vector<std::uint8_t> bytes = test::file_bytes(a);
    const std::vector<std::uint8_t> second = test::file_bytes(b);
    bytes.insert(bytes.end(), second.begin(), second.end());
    test::write_bytes(both, bytes);
    const std::string message = refusal(both);
    EXPECT_NE(message.find("frame size must not change"), std::string::npos) << message;
}

// Cut at many points, a file is either refused or (when only trailing index data went) still
// gives every frame exactly as before; never a crash, a hang or a silently damaged frame.
TEST(BadInput, TruncatedFilesAreRefusedOrUnharmed) {
    TempFolder temp;
    struct Made {
        std::string name;
        test::VideoSpec spec;
        int frames;
    };
    std::vector<Made> made = {
        {"ffv1.mkv", spec("matroska", "ffv1", "bgr0", 24, 16), 4},
        {"h264.mp4", spec("mp4", "libx264", "yuv420p", 32, 16), 4},
        {"y444.y4m", spec("yuv4mpegpipe", "wrapped_avframe", "yuv444p", 12, 8), 3},
        {"y420.y4m", spec("yuv4mpegpipe", "wrapped_avframe", "yuv420p", 12, 8), 3},
        {"deep.png", spec("", "png", "rgb48be", 12, 8), 1},
    };
    made[0].spec.codec_options = {{"level", "3"}, {"slicecrc", "1"}};
    made[1].spec.codec_options = {{"preset", "ultrafast"}};
    for (const Made& m : made) {
        const std::string whole = temp.file(m.name);
        ASSERT_EQ(test::write_video(whole, m.spec, m.frames, test::pattern_frames()), "");
        std::vector<PixelBuffer> full;
        try {
            full = read_all(whole);
        } catch (const Failure& error) {
            FAIL() << orv::failure_text(error);
        }
        ASSERT_EQ(static_cast<int>(full.size()), m.frames);
        const std::vector<std::uint8_t> bytes = test::file_bytes(whole);
        const std::size_t cuts = 40;
        int refused = 0;
        for (std::size_t k = 0; k < cuts; ++k) {
            const std::size_t length = bytes.size() * k / cuts + (k % 3);
            if (length >= bytes.size()) continue;
            const std::string cut = temp.file("cut_" + std::to_string(k) + "_" + m.name);
            test::write_bytes(cut, {bytes.begin(), bytes.begin() + static_cast<long>(length)});
            try {
                MediaSource source = open_media(cut, {});
                PixelBuffer pixels;
                HeaderBlock header;
                std::size_t i = 0;
                while (next_frame(source, pixels, header)) {
                    ASSERT_LT(i, full.size()) << m.name << " cut at " << length;
                    EXPECT_TRUE(pixels.bytes == full[i].bytes) << m.name << " cut at " << length;
                    ++i;
                }
                EXPECT_EQ(i, full.size()) << m.name << " cut at " << length;
            } catch (const Failure& error) {
                EXPECT_EQ(error.path, cut);
                ++refused;
            } catch (...) {
                ADD_FAILURE() << m.name << " cut at " << length << ": not a Failure";
            }
        }
        EXPECT_GT(refused, 0) << m.name;
    }
}

// --- Sequences read by several threads.

TEST(Sequence, ThreadsReadInOrderSkipAndRepeatTheLastFrame) {
    TempFolder temp;
    const std::string video = temp.file("clip.mkv");
    ASSERT_EQ(test::write_video(video, spec("matroska", "ffv1", "bgr0", 16, 8), 9,
                                test::pattern_frames()),
              "");
    const std::vector<PixelBuffer> frames = read_all(video);
    // A BMP between two copies of the video: 9 + 1 + 9 frames, first 2 skipped.
    const std::string bmp = temp.file("still.bmp");
    ASSERT_EQ(write_bmp_frame(bmp, frames[4], make_header_block(16, 8)), 0);
    const std::vector<SequenceInput> inputs = {{video, {}}, {bmp, {}}, {video, {}}};
    std::vector<const PixelBuffer*> expected;
    for (int i = 2; i < 9; ++i) expected.push_back(&frames[static_cast<std::size_t>(i)]);
    expected.push_back(&frames[4]);
    for (const PixelBuffer& f : frames) expected.push_back(&f);

    MediaSequence sequence = open_media_sequence(inputs, 2);
    ASSERT_EQ(sequence.count, 17);
    const int total = sequence.count + 3;  // three reads past the end repeat the last frame
    std::vector<SequenceFrame> got(static_cast<std::size_t>(total));
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < total; i += 3)
                got[static_cast<std::size_t>(i)] = read_sequence_frame(sequence, i);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < total; ++i) {
        const std::size_t want = static_cast<std::size_t>(std::min(i, sequence.count - 1));
        EXPECT_TRUE(got[static_cast<std::size_t>(i)].pixels.bytes == expected[want]->bytes) << i;
    }
    EXPECT_EQ(got[0].name, video + "#2");
    EXPECT_EQ(got[7].name, bmp);
}

TEST(Sequence, AFailureStopsEveryWaitingThread) {
    TempFolder temp;
    const std::string first = temp.file("first.mkv");
    const std::string second = temp.file("second.mkv");
    for (const std::string& video : {first, second}) {
        ASSERT_EQ(test::write_video(video, spec("matroska", "ffv1", "bgr0", 16, 8), 3,
                                    test::pattern_frames()),
                  "");
    }
    MediaSequence sequence = open_media_sequence({{first, {}}, {second, {}}}, 0);
    // The first file stays open from its count; the second is opened again when its first
    // frame is read, and that fails.
    std::filesystem::remove(second);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < 6; i += 3) {
                try {
                    read_sequence_frame(sequence, i);
                } catch (const Failure&) {
                    ++failures;
                    return;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 3);
}

TEST(RawFormatText, SizesAndRates) {
    EXPECT_EQ(parse_frame_size("1920x1080")->width, 1920);
    EXPECT_EQ(parse_frame_size("7X5")->height, 5);
    for (const char* bad : {"", "x", "0x5", "5x", "-4x4", "+4x4", "4x4x", "40000x2", " 4x4"}) {
        EXPECT_FALSE(parse_frame_size(bad)) << bad;
    }
    const auto ntsc = parse_frame_rate("30000/1001");
    EXPECT_EQ(ntsc->num, 30000);
    EXPECT_EQ(ntsc->den, 1001);
    const auto film = parse_frame_rate("23.976");
    EXPECT_EQ(film->num * 1000LL, 23976LL * film->den);
    for (const char* bad : {"", "0", "-25", "25/0", "1/", "abc", "1e3"}) {
        EXPECT_FALSE(parse_frame_rate(bad)) << bad;
    }
    EXPECT_EQ(raw_frame_bytes(RawFormat{4, 4, "yuv420p", 25, 1}), 24);
    EXPECT_EQ(raw_frame_bytes(RawFormat{5, 3, "yuv420p10le", 25, 1}), 5 * 3 * 2 + 2 * 3 * 2 * 2);
    EXPECT_EQ(raw_frame_bytes(RawFormat{4, 4, "no_such_format", 25, 1}), -1);
}

}  // namespace
}  // namespace orv
