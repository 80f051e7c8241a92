// orv-cli encode and rd, end to end: the three rd files and the ordering of its measurements,
// refusals with their statuses, and a full disk leaving no file behind.

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
using test::shell_word;
using test::slurp;

// Runs orv-cli with `args` under `/bin/sh`, after `prefix` (shell commands such as limits).
CliResult run_cli(const test::TempFolder& temp, const std::vector<std::string>& args,
                  const std::string& prefix = "") {
    return test::run_program(ORV_CLI_PATH, args, temp, prefix);
}

std::vector<std::string> samples() {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(std::string(ORV_SAMPLES_DIR) + "/reference_000" + std::to_string(i) +
                        ".bmp");
    }
    return files;
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(CliRd, WritesItsThreeFilesAndALowerCrfMeasuresLowerOnTheSamples) {
    test::TempFolder temp;
    const std::string out = temp.file("rd");
    std::vector<std::string> args = {"rd",        "--codec",           "h264",  "--crf", "38", "18",
                                     "--profile", ORV_DEFAULT_PROFILE, "--out", out};
    for (const std::string& f : samples()) args.push_back(f);
    const CliResult run = run_cli(temp, args);
    ASSERT_EQ(run.status, 0) << run.err;

    std::istringstream csv(slurp(out + "/rd.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "codec,setting,bytes,bitrate,mean,median,p95,max");
    std::vector<std::vector<std::string>> rows;
    while (std::getline(csv, line)) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        rows.push_back(fields);
    }
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "crf38");
    EXPECT_EQ(rows[1][1], "crf18");
    EXPECT_GT(std::stol(rows[1][2]), std::stol(rows[0][2]));  // more bytes at the lower CRF
    EXPECT_LT(std::stod(rows[1][4]), std::stod(rows[0][4]));  // and a lower pooled mean

    const std::string json = slurp(out + "/rd.json");
    EXPECT_NE(json.find("\"setting\": \"crf18\""), std::string::npos);
    EXPECT_NE(json.find("\"pooled\""), std::string::npos);
    const std::string html = slurp(out + "/rd.html");
    EXPECT_NE(html.find("<svg"), std::string::npos);
    EXPECT_NE(html.find("bitrate (kbit/s)"), std::string::npos);
    EXPECT_TRUE(fs::exists(out + "/h264_crf18.mp4"));
}

TEST(CliEncode, RefusalsNameTheProblemWithTheirStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* words;
    };
    const std::vector<Case> cases = {
        {{"--codec", "h264"}, 2, "Exactly 1 option from [--crf,--qp,--bitrate]"},
        {{"--codec", "h264", "--crf", "20", "--qp", "20"}, 2, "2 were given"},
        {{"--codec", "vp9", "--crf", "20"}, 1, "unknown codec \"vp9\""},
        {{"--codec", "h264", "--crf", "60"}, 1, "CRF 60 is out of range for libx264"},
        {{"--codec", "h264", "--bitrate", "0"}, 1, "bitrate \"0\" is not a rate"},
        {{"--codec", "hevc", "--crf", "20", "--preset", "fastest"},
         1,
         "unknown preset \"fastest\""},
        {{"--codec", "av1", "--qp", "70"}, 1, "QP 70 is out of range for libaom-av1"},
    };
    for (const Case& c : cases) {
        test::TempFolder temp;
        std::vector<std::string> args = {"encode"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--out");
        args.push_back(temp.file("out/x"));
        for (const std::string& f : samples()) args.push_back(f);
        fs::create_directory(temp.file("out"));
        const CliResult run = run_cli(temp, args);
        EXPECT_EQ(run.status, c.status) << c.words << ": " << run.err;
        EXPECT_NE(run.err.find(c.words), std::string::npos) << run.err;
        EXPECT_TRUE(files_in(temp.file("out")).empty()) << c.words;
    }
}

// A full disk, made with the shell's file-size limit (512-byte blocks; the signal ignored so
// that writes fail instead): while the bitstream is written, and later while the decoded
// frames are. Neither leaves a file.
TEST(CliEncode, FullDiskLeavesNoFiles) {
    for (int blocks : {2, 16}) {
        test::TempFolder temp;
        fs::create_directory(temp.file("out"));
        std::vector<std::string> args = {"encode", "--codec",         "h264", "--crf", "30",
                                         "--out",  temp.file("out/x")};
        for (const std::string& f : samples()) args.push_back(f);
        const CliResult run =
            run_cli(temp, args, "trap '' XFSZ; ulimit -f " + std::to_string(blocks) + "; ");
        EXPECT_EQ(run.status, 1) << blocks << ": " << run.err;
        EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
        EXPECT_TRUE(files_in(temp.file("out")).empty()) << blocks << " blocks";
    }
}

}  // namespace
}  // namespace orv
