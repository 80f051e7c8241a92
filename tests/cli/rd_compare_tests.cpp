// orv-cli rd comparing curves, end to end: the Bjøntegaard table beside rd.csv and `bd` from
// saved tables, and existing bitstreams measured as points of a labelled curve.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::shell;
using test::shell_word;
using test::slurp;

CliResult run_cli(const test::TempFolder& temp, const std::vector<std::string>& args) {
    return test::run_program(ORV_CLI_PATH, args, temp);
}

std::vector<std::string> samples() {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(std::string(ORV_SAMPLES_DIR) + "/reference_000" + std::to_string(i) +
                        ".bmp");
    }
    return files;
}

std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string field; std::getline(cells, field, ',');) fields.push_back(field);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

bool have_ffmpeg() {
    return shell("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0;
}

// Two codecs at four CRFs: bd.csv holds hevc against h264 for mean and p95, and `bd` on the
// saved rd.csv (six decimals) gives nearly the same figures; three points are refused with
// a warning and empty cells.
TEST(CliBd, RdWritesTheTableAndBdReadsItBack) {
    test::TempFolder temp;
    const std::string out = temp.file("rd");
    std::vector<std::string> args = {
        "rd",        "--codec",           "h264",  "hevc", "--crf", "20", "28", "36", "44",
        "--profile", ORV_DEFAULT_PROFILE, "--out", out};
    for (const std::string& f : samples()) args.push_back(f);
    const CliResult run = run_cli(temp, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto table = csv_rows(slurp(out + "/bd.csv"));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0], (std::vector<std::string>{"anchor", "test", "metric", "bd_rate_percent",
                                                  "bd_delta"}));
    EXPECT_EQ(table[1][0], "h264");
    EXPECT_EQ(table[1][1], "hevc");
    EXPECT_EQ(table[1][2], "mean");
    EXPECT_EQ(table[2][2], "p95");
    EXPECT_NE(slurp(out + "/rd.html").find("Bjøntegaard"), std::string::npos);

    const CliResult bd =
        run_cli(temp, {"bd", "--anchor", out + "/rd.csv:h264", "--test", out + "/rd.csv:hevc"});
    ASSERT_EQ(bd.status, 0) << bd.err;
    const auto again = csv_rows(bd.out);
    ASSERT_EQ(again.size(), 3u) << bd.out;
    for (int r = 1; r < 3; ++r) {
        if (table[r][3].empty()) {
            EXPECT_TRUE(again[r][3].empty());
            continue;
        }
        EXPECT_NEAR(std::stod(again[r][3]), std::stod(table[r][3]), 1e-3);
        EXPECT_NEAR(std::stod(again[r][4]), std::stod(table[r][4]), 1e-5);
    }
    // Without :CODEC the first curve is the anchor and every other one a test.
    EXPECT_EQ(run_cli(temp, {"bd", "--anchor", out + "/rd.csv", "--test", out + "/rd.csv"}).out,
              bd.out);

    std::string three = "codec,setting,bytes,bitrate,mean,median,p95,max\n";
    for (int i = 0; i < 3; ++i) three += "x,s,1," + std::to_string(100000 << i) + ",1,1,1,1\n";
    std::ofstream(temp.file("three.csv")) << three;
    const CliResult short_curve =
        run_cli(temp, {"bd", "--anchor", out + "/rd.csv", "--test", temp.file("three.csv")});
    EXPECT_EQ(short_curve.status, 0) << short_curve.err;
    EXPECT_NE(short_curve.out.find("h264,x,mean,,\n"), std::string::npos) << short_curve.out;
    EXPECT_NE(short_curve.err.find("warning: h264 vs x, mean: BD-rate: the test curve has 3 "
                                   "points"),
              std::string::npos)
        << short_curve.err;
    const CliResult missing =
        run_cli(temp, {"bd", "--anchor", out + "/rd.csv:av1", "--test", out + "/rd.csv"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("has no curve named \"av1\""), std::string::npos) << missing.err;
}

// Two x264 encodes made by the ffmpeg tool: their bytes as ffprobe counts the packets, and
// the same pooled mean as `diff` of each against the reference frames.
TEST(CliBitstreams, MeasuresExistingEncodes) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    test::TempFolder temp;
    const std::string pattern = std::string(ORV_SAMPLES_DIR) + "/reference_%04d.bmp";
    std::vector<std::string> encodes;
    for (const char* crf : {"35", "20"}) {
        const std::string path = temp.file(std::string("x264_") + crf + ".mp4");
        ASSERT_EQ(shell("ffmpeg -v error -framerate 30 -i " + shell_word(pattern) +
                        " -frames:v 3 -c:v libx264 -crf " + crf + " -pix_fmt yuv420p " +
                        shell_word(path)),
                  0);
        encodes.push_back(path);
    }
    const std::string out = temp.file("rd");
    std::vector<std::string> args = {
        "rd",  "--bitstreams", encodes[0],          encodes[1], "--label",
        "ext", "--profile",    ORV_DEFAULT_PROFILE, "--out",    out};
    for (const std::string& f : samples()) args.push_back(f);
    const CliResult run = run_cli(temp, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = csv_rows(slurp(out + "/rd.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(fs::exists(out + "/bd.csv"));  // one curve: nothing to compare
    for (int k = 0; k < 2; ++k) {
        const auto& row = rows[static_cast<std::size_t>(k + 1)];
        EXPECT_EQ(row[0], "ext");
        EXPECT_EQ(row[1], fs::path(encodes[k]).filename().string());
        const std::string sizes = temp.file("sizes.txt");
        ASSERT_EQ(shell("ffprobe -v error -select_streams v:0 -show_entries packet=size -of "
                        "csv=p=0 " +
                        shell_word(encodes[k]) + " > " + shell_word(sizes)),
                  0);
        long long bytes = 0;
        std::istringstream in(slurp(sizes));
        for (long long size = 0; in >> size;) bytes += size;
        EXPECT_EQ(std::stoll(row[2]), bytes);
        EXPECT_NEAR(std::stod(row[3]), bytes * 8.0 * 30.0 / 3.0, 1.0);  // 3 frames at 30 fps

        std::vector<std::string> diff = {"diff", "--profile", ORV_DEFAULT_PROFILE, "--reference"};
        for (const std::string& f : samples()) diff.push_back(f);
        diff.push_back("--degraded");
        diff.push_back(encodes[k]);
        const CliResult measured = run_cli(temp, diff);
        ASSERT_EQ(measured.status, 0) << measured.err;
        const auto frames = csv_rows(measured.out);
        double sum = 0.0;
        for (std::size_t i = 1; i < frames.size(); ++i) sum += std::stod(frames[i][3]);
        EXPECT_NEAR(std::stod(row[4]), sum / static_cast<double>(frames.size() - 1), 2e-6);
    }
    const std::string json = slurp(out + "/rd.json");
    EXPECT_NE(json.find("\"rate_control\": \"existing bitstream\""), std::string::npos);

    const CliResult usage = run_cli(temp, {"rd", "--out", temp.file("none"), samples()[0]});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("--codec or --bitstreams"), std::string::npos) << usage.err;
}

// Encoder options pass through and are recorded: keyint=5 on 20 frames gives key frames at 0,
// 5, 10 and 15; two passes at a bitrate leave no statistics file behind.
TEST(CliRd, EncoderOptionsReachTheEncoderAndTheRecord) {
    test::TempFolder temp;
    const std::string out = temp.file("rd");
    std::vector<std::string> args = {"rd",
                                     "--codec",
                                     "h264",
                                     "--bitrate",
                                     "150k",
                                     "--passes",
                                     "2",
                                     "--tune",
                                     "psnr",
                                     "--x264-params",
                                     "keyint=5:min-keyint=5:scenecut=0",
                                     "--profile",
                                     ORV_DEFAULT_PROFILE,
                                     "--out",
                                     out};
    for (int i = 0; i < 20; ++i) args.push_back(samples()[static_cast<std::size_t>(i % 3)]);
    const CliResult run = run_cli(temp, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string json = slurp(out + "/rd.json");
    EXPECT_NE(json.find("\"encoder_params\": \"keyint=5:min-keyint=5:scenecut=0\""),
              std::string::npos);
    EXPECT_NE(json.find("\"tune\": \"psnr\""), std::string::npos);
    EXPECT_NE(json.find("\"passes\": 2"), std::string::npos);
    int keys = 0;
    for (std::size_t at = 0; (at = json.find("\"type\": \"I\"", at)) != std::string::npos; ++at) {
        ++keys;
    }
    EXPECT_EQ(keys, 4);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    // No two-pass statistics left behind: the point's bitstream and figures (what --resume
    // reads) and the run's three files.
    EXPECT_EQ(names, (std::vector<std::string>{"h264_bitrate150k.json", "h264_bitrate150k.mp4",
                                               "rd.csv", "rd.html", "rd.json"}));

    std::vector<std::string> crf = {"encode",   "--codec", "h264",  "--crf",       "20",
                                    "--passes", "2",       "--out", temp.file("x")};
    crf.push_back(samples()[0]);
    const CliResult refused = run_cli(temp, crf);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("two passes need a target bitrate"), std::string::npos)
        << refused.err;
}

// The stream's bitrate follows from --fps: an input video stating another rate is said to
// differ, and no warning comes when the rates agree.
TEST(CliEncode, InputStatingAnotherRateIsWarnedOf) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    test::TempFolder temp;
    const std::string source = temp.file("src.mp4");
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 3 -c:v "
                    "libx264 -qp 0 " +
                    shell_word(source)),
              0);
    const struct {
        std::vector<std::string> rate;
        bool warned;
    } cases[] = {{{}, true}, {{"--fps", "25"}, false}};
    int k = 0;
    for (const auto& c : cases) {
        std::vector<std::string> args = {"encode",
                                         "--codec",
                                         "h264",
                                         "--crf",
                                         "30",
                                         "--out",
                                         temp.file("out" + std::to_string(k++))};
        args.insert(args.end(), c.rate.begin(), c.rate.end());
        args.push_back(source);
        const CliResult result = run_cli(temp, args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err.find("states 25.000 fps, but the stream is timed at 30.000 fps") !=
                      std::string::npos,
                  c.warned)
            << result.err;
    }
}

}  // namespace
}  // namespace orv
