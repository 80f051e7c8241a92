// orv-cli diff and rd with --metrics, end to end against the ffmpeg tool's psnr and ssim
// filters on media the tests make (YUV 8 and 10 bits, RGB pictures, mixed inputs), and the
// outputs without --metrics unchanged by the option's existence.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/temp_folder.h"

namespace orv {
namespace {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string shell_word(const std::string& text) {
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int shell(const std::string& command) {
    const int raw = std::system(("/bin/sh -c " + shell_word(command)).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

CliResult run_cli(const test::TempFolder& temp, std::vector<std::string> args) {
    std::string command = "exec " + shell_word(ORV_CLI_PATH);
    args.insert(args.begin() + 1, {"--profile", ORV_DEFAULT_PROFILE});
    for (const std::string& a : args) command += " " + shell_word(a);
    const std::string out = temp.file("stdout.txt"), err = temp.file("stderr.txt");
    command += " >" + shell_word(out) + " 2>" + shell_word(err) + " </dev/null";
    const int status = shell(command);
    return {status, slurp(out), slurp(err)};
}

bool have_ffmpeg() { return shell("command -v ffmpeg >/dev/null") == 0; }

void ffmpeg(const std::string& arguments) {
    ASSERT_EQ(shell("ffmpeg -nostdin -v error -y " + arguments), 0) << arguments;
}

// A table: its header names and its rows, each field by name.
std::vector<std::map<std::string, std::string>> csv_table(const std::string& text) {
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> names;
    auto split = [](const std::string& l) {
        std::vector<std::string> fields;
        std::istringstream cells(l);
        for (std::string f; std::getline(cells, f, ',');) fields.push_back(f);
        return fields;
    };
    if (std::getline(in, line)) names = split(line);
    while (std::getline(in, line)) {
        const std::vector<std::string> fields = split(line);
        std::map<std::string, std::string> row;
        for (std::size_t k = 0; k < names.size() && k < fields.size(); ++k) {
            row[names[k]] = fields[k];
        }
        rows.push_back(row);
    }
    return rows;
}

// The lines of the filters' stats files, each "key:value ..." (the psnr filter: psnr_y:...;
// the ssim filter: Y:... All:...).
std::vector<std::map<std::string, double>> stats_lines(const std::string& path) {
    std::vector<std::map<std::string, double>> lines;
    std::istringstream in(slurp(path));
    for (std::string line; std::getline(in, line);) {
        std::map<std::string, double> values;
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            const std::size_t colon = word.find(':');
            if (colon != std::string::npos) {
                values[word.substr(0, colon)] = std::strtod(word.c_str() + colon + 1, nullptr);
            }
        }
        lines.push_back(values);
    }
    return lines;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Per-frame PSNR within 0.01 dB and SSIM within 0.0005 of the ffmpeg tool's filters (which
// print PSNR with two decimals), for every plane and the combined figures.
TEST(MetricsCli, DiffAgreesWithTheFfmpegFilters) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is needed";
    struct Case {
        const char* what;
        const char* reference;  // file name, made by `make`
        const char* degraded;
        std::string make;  // ffmpeg arguments making both; {R} and {D} the files
        const char* planes;
        int frames;
    };
    const std::string clip = "-f lavfi -i testsrc=size=96x64:rate=25 -frames:v 5";
    const Case cases[] = {
        {"x264 encode of a yuv420p clip", "ref.y4m", "enc.mp4",
         clip + " -pix_fmt yuv420p {R} && ffmpeg -nostdin -v error -y -i {R} -c:v libx264 "
                "-crf 36 -pix_fmt yuv420p {D}",
         "yuv", 5},
        {"10-bit 4:2:2 with noise", "ref.y4m", "noisy.y4m",
         clip + " -pix_fmt yuv422p10le -strict -1 {R} && ffmpeg -nostdin -v error -y -i {R} "
                "-vf noise=alls=25:allf=t -pix_fmt yuv422p10le -strict -1 {D}",
         "yuv", 5},
        {"RGB pictures", "ref.png", "noisy.png",
         "-f lavfi -i testsrc=size=96x64 -frames:v 1 -pix_fmt rgb24 {R} && ffmpeg -nostdin -v "
         "error -y -i {R} -vf noise=alls=30:allf=t -pix_fmt rgb24 {D}",
         "rgb", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder temp;
        const std::string r = temp.file(c.reference), d = temp.file(c.degraded);
        std::string make = c.make;
        for (std::size_t at; (at = make.find("{R}")) != std::string::npos;) make.replace(at, 3, r);
        for (std::size_t at; (at = make.find("{D}")) != std::string::npos;) make.replace(at, 3, d);
        ffmpeg(make);
        const std::string psnr = temp.file("psnr.txt"), ssim = temp.file("ssim.txt");
        ffmpeg("-i " + d + " -i " + r + " -lavfi \"[0][1]psnr=stats_file=" + psnr +
               ";[0][1]ssim=stats_file=" + ssim + "\" -f null -");
        const std::string table = temp.file("table.csv");
        const CliResult run = run_cli(temp, {"diff", "--reference", r, "--degraded", d, "--metrics",
                                             "psnr,ssim", "--csv", table});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
        const auto rows = csv_table(slurp(table));
        const auto p = stats_lines(psnr), s = stats_lines(ssim);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.frames));
        ASSERT_EQ(p.size(), rows.size());
        ASSERT_EQ(s.size(), rows.size());
        const std::vector<std::string> names = std::string(c.planes) == "yuv"
                                                   ? std::vector<std::string>{"y", "u", "v"}
                                                   : std::vector<std::string>{"r", "g", "b"};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            for (const std::string& n : names) {
                ASSERT_EQ(rows[i].count("psnr_" + n), 1u) << "no column psnr_" << n;
                EXPECT_NEAR(std::stod(rows[i].at("psnr_" + n)), p[i].at("psnr_" + n), 0.01) << n;
                EXPECT_NEAR(std::stod(rows[i].at("ssim_" + n)), s[i].at(upper(n)), 0.0005) << n;
            }
            EXPECT_NEAR(std::stod(rows[i].at("psnr_avg")), p[i].at("psnr_avg"), 0.01);
            EXPECT_NEAR(std::stod(rows[i].at("ssim_all")), s[i].at("All"), 0.0005);
        }
    }
}

// One YUV and one RGB input: measured on RGB, said on standard error and in the record;
// identical inputs: "inf" per frame and a finite pooled figure.
TEST(MetricsCli, MixedInputsAndIdenticalFrames) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is needed";
    test::TempFolder temp;
    const std::string yuv = temp.file("ref.y4m"), rgb = temp.file("ref.png");
    ffmpeg("-f lavfi -i testsrc=size=64x48 -frames:v 1 -pix_fmt yuv420p " + yuv);
    ffmpeg("-i " + yuv + " -pix_fmt rgb24 " + rgb);
    const std::string record = temp.file("run.json"), summary = temp.file("summary.csv");
    CliResult run = run_cli(temp, {"diff", "--reference", yuv, "--degraded", rgb, "--metrics",
                                   "psnr", "--json", record});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: PSNR and SSIM measured on the 8-bit RGB frames"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find(",psnr_r,psnr_g,psnr_b,psnr_avg\n"), std::string::npos) << run.out;
    const nlohmann::json json = nlohmann::json::parse(slurp(record));
    EXPECT_EQ(json["metrics"]["planes"], "rgb");
    EXPECT_NE(json["metrics"]["note"].get<std::string>().find("reference yuv420p, degraded RGB"),
              std::string::npos);
    EXPECT_EQ(json["warnings"].size(), 1u);

    run = run_cli(temp, {"diff", "--reference", yuv, "--degraded", yuv, "--metrics", "psnr,ssim",
                         "--summary", summary});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = csv_table(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("psnr_y"), "inf");
    EXPECT_EQ(rows[0].at("ssim_all"), "1.000000");
    const auto figures = csv_table(slurp(summary));
    std::map<std::string, std::string> pooled;
    for (const auto& row : figures) pooled[row.at("figure")] = row.at("value");
    EXPECT_EQ(pooled["metrics_planes"], "yuv420p");
    // 64 x 48 luma samples: 10 log10(255² · 3072).
    EXPECT_EQ(pooled["psnr_y"], "83.005016");
}

TEST(MetricsCli, UnknownMetricsAreRefused) {
    test::TempFolder temp;
    const std::string sample = std::string(ORV_SAMPLES_DIR) + "/reference_0000.bmp";
    for (const char* list : {"vmaf", "psnr,vmaf", "ssim;psnr"}) {
        SCOPED_TRACE(list);
        const CliResult run =
            run_cli(temp, {"diff", "--reference", sample, "--degraded", sample, "--metrics", list});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("unknown metric"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// Without --metrics every output is what it was; with it, the same bytes plus the metrics'
// columns, rows and section only.
TEST(MetricsCli, OutputsWithoutMetricsUnchanged) {
    test::TempFolder temp;
    std::vector<std::string> files;
    for (int i = 0; i < 2; ++i) {
        files.push_back(std::string(ORV_SAMPLES_DIR) + "/reference_000" + std::to_string(i) +
                        ".bmp");
    }
    const std::string noisy = temp.file("noisy");
    std::vector<std::string> noise = {"noise",  "--sigma", "5",     "5",  "5",
                                      "--seed", "1",       "--out", noisy};
    noise.insert(noise.end(), files.begin(), files.end());
    std::string command = shell_word(ORV_CLI_PATH);
    for (const std::string& a : noise) command += " " + shell_word(a);
    ASSERT_EQ(shell(command + " >/dev/null 2>&1"), 0);
    auto outputs = [&](const std::string& tag, const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"diff",
                                         "--reference",
                                         files[0],
                                         files[1],
                                         "--degraded",
                                         noisy + "_0000.bmp",
                                         noisy + "_0001.bmp",
                                         "--summary",
                                         temp.file(tag + ".summary"),
                                         "--json",
                                         temp.file(tag + ".json")};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult run = run_cli(temp, args);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    };
    const std::string plain = outputs("plain", {});
    const std::string measured = outputs("measured", {"--metrics", "psnr,ssim"});
    // The table: every line the same up to the metrics' eight columns.
    std::istringstream a(plain), b(measured);
    std::string la, lb;
    int lines = 0;
    while (std::getline(a, la) && std::getline(b, lb)) {
        std::string cut = lb;
        for (int k = 0; k < 8; ++k) cut.erase(cut.rfind(','));
        EXPECT_EQ(la, cut);
        ++lines;
    }
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(plain.substr(0, plain.find('\n')),
              "frame,reference,degraded,mean,max,min,median,p95,p99,above_1,above_2,above_5,"
              "max_x,max_y");
    // The summary: the same rows first, then the metrics' rows.
    const std::string s1 = slurp(temp.file("plain.summary")),
                      s2 = slurp(temp.file("measured.summary"));
    EXPECT_EQ(s2.substr(0, s1.size()), s1);
    EXPECT_EQ(s2.substr(s1.size(), 23), "metrics_planes,rgb24\nps");
    // The record: the same but for the command line and the metrics section.
    nlohmann::json j1 = nlohmann::json::parse(slurp(temp.file("plain.json")));
    nlohmann::json j2 = nlohmann::json::parse(slurp(temp.file("measured.json")));
    EXPECT_FALSE(j1.contains("metrics"));
    ASSERT_TRUE(j2.contains("metrics"));
    j2.erase("metrics");
    j1.erase("command_line");
    j2.erase("command_line");
    EXPECT_EQ(j1, j2);
}

// rd --metrics on two sets of existing x264 encodes of a YUV clip: each point's psnr_y is the
// mean of the per-frame figures diff gives for its bitstream, rd.csv has the columns only when
// asked, and bd.csv a psnr_y row.
TEST(MetricsCli, RdColumnsAndBdRow) {
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is needed";
    test::TempFolder temp;
    const std::string clip = temp.file("clip.y4m");
    ffmpeg("-f lavfi -i testsrc=size=96x64:rate=25 -frames:v 4 -pix_fmt yuv420p " + clip);
    std::vector<std::string> fast, slow;
    for (int crf : {22, 28, 34, 40}) {
        for (auto* set : {&fast, &slow}) {
            const std::string preset = set == &fast ? "ultrafast" : "medium";
            set->push_back(temp.file(preset + std::to_string(crf) + ".mp4"));
            ffmpeg("-i " + clip + " -c:v libx264 -preset " + preset + " -crf " +
                   std::to_string(crf) + " -pix_fmt yuv420p " + set->back());
        }
    }
    auto rd = [&](const std::string& out, bool metrics) {
        std::vector<std::string> args = {"rd", "--out", temp.file(out), "--bitstreams"};
        args.insert(args.end(), fast.begin(), fast.end());
        args.push_back("--bitstreams");
        args.insert(args.end(), slow.begin(), slow.end());
        for (const char* a : {"--label", "fast", "--label", "slow"}) args.push_back(a);
        if (metrics) args.insert(args.end(), {"--metrics", "psnr"});
        args.push_back(clip);
        const CliResult run = run_cli(temp, args);
        EXPECT_EQ(run.status, 0) << run.err;
    };
    rd("plain", false);
    rd("measured", true);
    const std::string plain = slurp(temp.file("plain/rd.csv"));
    EXPECT_EQ(plain.substr(0, plain.find('\n')), "codec,setting,bytes,bitrate,mean,median,p95,max");
    const auto rows = csv_table(slurp(temp.file("measured/rd.csv")));
    ASSERT_EQ(rows.size(), 8u);
    const auto plain_rows = csv_table(plain);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EXPECT_EQ(rows[k].at("mean"), plain_rows[k].at("mean"));
        EXPECT_EQ(rows[k].count("ssim_y"), 0u);
    }
    // The first point against diff's per-frame figures.
    const CliResult diff =
        run_cli(temp, {"diff", "--reference", clip, "--degraded", fast[0], "--metrics", "psnr"});
    ASSERT_EQ(diff.status, 0) << diff.err;
    double sum = 0.0;
    const auto frames = csv_table(diff.out);
    for (const auto& f : frames) sum += std::stod(f.at("psnr_y"));
    EXPECT_NEAR(std::stod(rows[0].at("psnr_y")), sum / static_cast<double>(frames.size()), 1e-5);
    const std::string bd = slurp(temp.file("measured/bd.csv"));
    EXPECT_NE(bd.find("\nfast,slow,psnr_y,"), std::string::npos) << bd;
    EXPECT_EQ(slurp(temp.file("plain/bd.csv")).find("psnr_y"), std::string::npos);
}

}  // namespace
}  // namespace orv
