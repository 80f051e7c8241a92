// orv-cli on HDR video: a lossless HEVC stream tagged PQ and BT.2020 (made with the ffmpeg
// tool) measures exactly as its raw 10-bit frames with --display pq --primaries bt2020, and
// the options still win over the tags.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "image/bmp_file.h"
#include "image/pixel_buffer.h"
#include "tests/scielab/display_chain.h"
#include "tests/support/cli_process.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using test::shell;
using test::slurp;
const auto quoted = test::shell_word;

// The table without its reference and degraded columns.
std::string figures(const std::string& table) {
    std::istringstream in(table);
    std::string line, out;
    while (std::getline(in, line)) {
        const auto first = line.find(',');
        const auto third = line.find(',', line.find(',', first + 1) + 1);
        out += line.substr(0, first) + line.substr(third) + "\n";
    }
    return out;
}

struct CliOutcome {
    int status;
    std::string out, err;
};

CliOutcome run_cli(const test::TempFolder& temp, const std::string& args) {
    const std::string out = temp.file("out.txt"), err = temp.file("err.txt");
    const int status =
        shell(quoted(ORV_CLI_PATH) + " " + args + " >" + quoted(out) + " 2>" + quoted(err));
    return {status, slurp(out), slurp(err)};
}

// Two frames of 32 x 24 yuv444p10le with codes spread over the limited range.
void write_raw(const std::string& path, int seed) {
    std::vector<std::uint16_t> words;
    for (int f = 0; f < 2; ++f) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int i = 0; i < 32 * 24; ++i) {
                const int spread = plane == 0 ? 700 : 300;
                const int base = plane == 0 ? 100 : 362;
                words.push_back(static_cast<std::uint16_t>(
                    base + (i * 37 + seed * 101 + f * 13 + plane * 7) % spread));
            }
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()),
               static_cast<std::streamsize>(words.size() * 2));
}

TEST(CliHdr, TaggedPqStreamMeasuresAsItsRawFramesWithTheOptions) {
    if (shell("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx265") != 0) {
        GTEST_SKIP() << "ffmpeg with libx265 is not available";
    }
    test::TempFolder temp;
    const std::string raw = " --size 32x24 --pix-fmt yuv444p10le --matrix bt2020 --range limited";
    for (const char* name : {"r", "d"}) {
        const std::string yuv = temp.file(std::string(name) + ".yuv");
        write_raw(yuv, name[0]);
        ASSERT_EQ(shell("ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt yuv444p10le -s "
                        "32x24 -i " +
                        quoted(yuv) +
                        " -c:v libx265 -x265-params lossless=1:log-level=error -pix_fmt "
                        "yuv444p10le -color_primaries bt2020 -color_trc smpte2084 -colorspace "
                        "bt2020nc -color_range tv " +
                        quoted(temp.file(std::string(name) + ".mp4"))),
                  0);
    }
    const std::string profile = " --profile " + quoted(ORV_DEFAULT_PROFILE);
    const std::string videos =
        " --reference " + quoted(temp.file("r.mp4")) + " --degraded " + quoted(temp.file("d.mp4"));
    const std::string raws =
        " --reference " + quoted(temp.file("r.yuv")) + " --degraded " + quoted(temp.file("d.yuv"));
    for (const std::string formula : {"94", "itp"}) {
        const CliOutcome tagged =
            run_cli(temp, "diff" + profile + videos + " --delta-e " + formula);
        ASSERT_EQ(tagged.status, 0) << tagged.err;
        EXPECT_NE(tagged.err.find("display pq (peak 1000 cd/m2, white 203 cd/m2), primaries "
                                  "bt2020"),
                  std::string::npos)
            << tagged.err;
        const CliOutcome asked =
            run_cli(temp, "diff" + profile + raws + raw +
                              " --display pq --primaries bt2020 --delta-e " + formula);
        ASSERT_EQ(asked.status, 0) << asked.err;
        EXPECT_EQ(figures(tagged.out), figures(asked.out));
    }
    // --display profile keeps the profile's model for the tagged stream, as for untagged raw.
    const CliOutcome overridden =
        run_cli(temp, "diff" + profile + videos + " --display profile --primaries profile");
    const CliOutcome plain = run_cli(temp, "diff" + profile + raws + raw);
    ASSERT_EQ(overridden.status, 0) << overridden.err;
    EXPECT_EQ(figures(overridden.out), figures(plain.out));
    EXPECT_NE(figures(overridden.out), figures(run_cli(temp, "diff" + profile + videos).out));
}

// A PQ-tagged 10-bit reference against an untagged 8-bit encode: each side is measured on the
// display its own tags choose, and each side's own option wins over --display / --primaries.
TEST(CliHdr, EachSideTakesItsOwnTagsAndOptions) {
    if (shell("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx265") != 0) {
        GTEST_SKIP() << "ffmpeg with libx265 is not available";
    }
    test::TempFolder temp;
    const std::string yuv = temp.file("r.yuv");
    write_raw(yuv, 'r');
    const std::string input =
        "ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt yuv444p10le -s 32x24 -i " +
        quoted(yuv) + " -c:v libx265 -x265-params lossless=1:log-level=error ";
    ASSERT_EQ(shell(input +
                    "-pix_fmt yuv444p10le -color_primaries bt2020 -color_trc smpte2084 "
                    "-colorspace bt2020nc -color_range tv " +
                    quoted(temp.file("r.mp4"))),
              0);
    ASSERT_EQ(shell(input + "-pix_fmt yuv444p " + quoted(temp.file("d.mp4"))), 0);
    const std::string base = "diff --profile " + quoted(ORV_DEFAULT_PROFILE) + " --reference " +
                             quoted(temp.file("r.mp4")) + " --degraded " +
                             quoted(temp.file("d.mp4"));
    const std::string pq = "display pq (peak 1000 cd/m2, white 203 cd/m2), primaries bt2020";
    const std::string profile =
        "display profile (the profile's model), primaries profile (the profile's matrix)";
    const std::string srgb = "display srgb (white 100 cd/m2), primaries bt709";
    struct Case {
        const char* options;
        std::string reference, degraded;  // what each side's colour-handling line ends with
    };
    const Case cases[] = {
        {"", pq, profile},
        {" --reference-display pq --reference-primaries bt2020", pq, profile},
        {" --degraded-display pq --degraded-primaries bt2020", pq, pq},
        {" --display pq --primaries bt2020", pq, pq},
        {" --display srgb --primaries bt709 --reference-display pq --reference-primaries bt2020",
         pq, srgb},
        {" --degraded-display srgb --degraded-primaries bt709", pq, srgb},
    };
    std::vector<std::string> tables;
    for (const Case& k : cases) {
        const CliOutcome run = run_cli(temp, base + k.options);
        ASSERT_EQ(run.status, 0) << k.options << run.err;
        const auto line = [&](const char* role) {
            const auto at = run.err.find(std::string("orv-cli: ") + role);
            return run.err.substr(at, run.err.find('\n', at) - at);
        };
        EXPECT_NE(line("reference").find(k.reference), std::string::npos) << k.options << run.err;
        EXPECT_NE(line("degraded").find(k.degraded), std::string::npos) << k.options << run.err;
        tables.push_back(figures(run.out));
    }
    EXPECT_EQ(tables[0], tables[1]);  // the tags chose what the options say
    EXPECT_EQ(tables[2], tables[3]);  // one side's option as the both-sides option
    EXPECT_EQ(tables[4], tables[5]);
    EXPECT_NE(tables[0], tables[3]);
    EXPECT_NE(tables[0], tables[4]);

    // The record names the degraded side's display where it differs, and a bad value is refused
    // naming its option.
    const std::string json = temp.file("run.json");
    ASSERT_EQ(run_cli(temp, base + " --json " + quoted(json)).status, 0);
    const std::string record = slurp(json);
    EXPECT_NE(record.find("\"degraded_display\""), std::string::npos);
    for (const char* option : {"--degraded-display", "--reference-primaries"}) {
        const CliOutcome bad = run_cli(temp, base + " " + option + " cie");
        EXPECT_EQ(bad.status, 2) << option;
        EXPECT_NE(bad.err.find(option), std::string::npos) << bad.err;
    }
}

// A uniform 16-bit PNG of red, green, blue words (written by the ffmpeg tool from raw rgb48le).
bool write_png16(const test::TempFolder& temp, const std::string& name, const int rgb[3]) {
    std::vector<std::uint16_t> words;
    for (int i = 0; i < 16 * 12; ++i)
        words.insert(words.end(),
                     {std::uint16_t(rgb[0]), std::uint16_t(rgb[1]), std::uint16_t(rgb[2])});
    const std::string raw = temp.file(name + ".rgb");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()),
               static_cast<std::streamsize>(words.size() * 2));
    return shell("ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt rgb48le -s 16x12 -i " +
                 quoted(raw) + " -pix_fmt rgb48be " + quoted(temp.file(name + ".png"))) == 0;
}

// Two 16-bit PNGs 30 codes apart in green (the same 8-bit values) on the sRGB display with
// BT.709 primaries: the mean is the independent formula chain (display_chain.h).
TEST(CliHdr, SixteenBitPngOnTheSrgbDisplay) {
    if (shell("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg tool";
    test::TempFolder temp;
    const int a[3] = {30000, 40000, 20000};
    const int b[3] = {30000, 40030, 20000};
    ASSERT_TRUE(write_png16(temp, "a", a) && write_png16(temp, "b", b));
    const CliOutcome run =
        run_cli(temp, "diff --profile " + quoted(ORV_DEFAULT_PROFILE) + " --reference " +
                          quoted(temp.file("a.png")) + " --degraded " + quoted(temp.file("b.png")) +
                          " --display srgb --primaries bt709");
    ASSERT_EQ(run.status, 0) << run.err;
    using namespace display_chain;
    const auto xyz = [](const int* w) {
        const Vec light =
            display_light(DisplayTransfer::srgb, {w[0] / 65535.0, w[1] / 65535.0, w[2] / 65535.0},
                          100.0, 0.0, 1000.0);
        return times(primary_matrix(bt709_xy), {light[0] / 100, light[1] / 100, light[2] / 100});
    };
    const double expected = cie94(lab(xyz(a)), lab(xyz(b)));
    const std::string row = run.out.substr(run.out.find('\n') + 1);
    const std::size_t at = row.find(".png,", row.find(".png,") + 1) + 5;
    EXPECT_GT(expected, 0.01);
    EXPECT_NEAR(std::stod(row.substr(at)), expected, 1e-6) << row;
}

// filter on a uniform 16-bit PNG whose values lie between bytes': a uniform frame comes
// through the filters unchanged, so each written byte is the exact value times 255, truncated
// as the inverse display writes it (128.70 -> 128, where rounding to 8 bits first gives 129).
TEST(CliHdr, FilterTakesTheExactValues) {
    if (shell("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "no ffmpeg tool";
    test::TempFolder temp;
    const int words[3] = {33076, 16654, 51554};  // 128.70, 64.80, 200.60 times 257
    ASSERT_TRUE(write_png16(temp, "between", words));
    const CliOutcome run =
        run_cli(temp, "filter --profile " + quoted(ORV_DEFAULT_PROFILE) +
                          " --display srgb --primaries bt709 --out " + quoted(temp.file("f")) +
                          " " + quoted(temp.file("between.png")));
    ASSERT_EQ(run.status, 0) << run.err;
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_GT(read_bmp_frame(temp.file("f_0000.bmp"), pixels, header), 0) << run.err;
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.bytes.data() + static_cast<std::size_t>(y) * pixels.stride;
        for (int x = 0; x < pixels.width; ++x) {
            ASSERT_EQ(row[3 * x + 2], 128) << x << "," << y;
            ASSERT_EQ(row[3 * x + 1], 64) << x << "," << y;
            ASSERT_EQ(row[3 * x], 200) << x << "," << y;
        }
    }
}

// A 16-bit grey ramp encoded as 10-bit HEVC tagged PQ and BT.2020: ffprobe reports the format
// and the tags, and the luma keeps far more distinct codes than 8 bits could give.
TEST(CliHdr, TenBitPqEncodeKeepsTheRamp) {
    if (shell("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx265") != 0 ||
        shell("command -v ffprobe >/dev/null") != 0) {
        GTEST_SKIP() << "ffmpeg with libx265 or ffprobe is not available";
    }
    test::TempFolder temp;
    constexpr int w = 256, h = 144;
    std::vector<std::uint16_t> words;
    for (int i = 0; i < w * h; ++i) {
        const auto v = static_cast<std::uint16_t>(std::lround(65535.0 * i / (w * h - 1)));
        words.insert(words.end(), {v, v, v});
    }
    const std::string raw = temp.file("ramp.rgb");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()),
               static_cast<std::streamsize>(words.size() * 2));
    ASSERT_EQ(shell("ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt rgb48le -s 256x144 "
                    "-i " +
                    quoted(raw) + " -pix_fmt rgb48be " + quoted(temp.file("ramp.png"))),
              0);
    const CliOutcome run =
        run_cli(temp,
                "encode --codec hevc --crf 0 --pix-fmt yuv420p10le --transfer pq --primaries "
                "bt2020 --matrix bt2020 --out " +
                    quoted(temp.file("enc")) + " " + quoted(temp.file("ramp.png")));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string probe = temp.file("probe.txt");
    ASSERT_EQ(shell("ffprobe -v error -show_entries stream=pix_fmt,color_transfer,color_primaries "
                    "-of csv=p=0 " +
                    quoted(temp.file("enc.mp4")) + " >" + quoted(probe)),
              0);
    EXPECT_EQ(slurp(probe), "yuv420p10le,smpte2084,bt2020\n");
    const std::string decoded = temp.file("dec.yuv");
    ASSERT_EQ(shell("ffmpeg -hide_banner -loglevel error -i " + quoted(temp.file("enc.mp4")) +
                    " -f rawvideo -pix_fmt yuv420p10le " + quoted(decoded)),
              0);
    const std::string bytes = slurp(decoded);
    ASSERT_GE(bytes.size(), std::size_t{2} * w * h);
    std::vector<bool> seen(1024, false);
    int distinct = 0;
    for (std::size_t i = 0; i < std::size_t{w} * h; ++i) {
        const int code = (static_cast<unsigned char>(bytes[2 * i]) |
                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8) &
                         1023;
        if (!seen[static_cast<std::size_t>(code)]) ++distinct;
        seen[static_cast<std::size_t>(code)] = true;
    }
    EXPECT_GT(distinct, 600);  // limited range holds 877 luma codes; 8 bits would give 220
}

}  // namespace
}  // namespace orv
