// orv-cli on HDR video: a lossless HEVC stream tagged PQ and BT.2020 (made with the ffmpeg
// tool) measures exactly as its raw 10-bit frames with --display pq --primaries bt2020, and
// the options still win over the tags.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/temp_folder.h"

namespace orv {
namespace {

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int shell(const std::string& command) {
    const int raw = std::system(("/bin/sh -c " + quoted(command)).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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

}  // namespace
}  // namespace orv
