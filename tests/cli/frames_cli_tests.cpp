// Every frame accounted for: outputs checked before the work, files written whole, numbered
// names that sort, damaged and shifted streams, rotation, pairing by time, the tool's hygiene.
// Media are made at test time with FFmpeg's libraries or its command-line tool (tests needing
// the tool are skipped where it is missing).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "image/bmp_file.h"
#include "image/file_names.h"
#include "image/pixel_buffer.h"
#include "media/media_source.h"
#include "tests/support/cli_process.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using Result = test::CliResult;
using test::slurp;
const auto sh_word = test::shell_word;

int count_lines(const std::string& text, const std::string& containing = "") {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += line.find(containing) != std::string::npos;
    return n;
}

bool have_ffmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

PixelBuffer pattern(int width, int height, int seed) {
    PixelBuffer p = make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                p.bytes[static_cast<std::size_t>(y * p.stride + 3 * x + c)] =
                    static_cast<std::uint8_t>((x * 31 + y * 17 + seed * 53 + c * 71) % 256);
            }
        }
    }
    return p;
}

class FramesCli : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string profile;

    void SetUp() override {
        // The default display and matrix files with short kernels, so that runs are quick.
        profile = test::quick_profile(temp, ORV_DEFAULT_PROFILE);
    }

    std::string text(const std::string& name, const std::string& content) {
        std::ofstream(temp.file(name), std::ios::binary) << content;
        return temp.file(name);
    }

    std::vector<std::string> frames(const std::string& name, int count, int seed, int width = 16,
                                    int height = 12) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const std::string path = temp.file(name + "_" + std::to_string(i) + ".bmp");
            EXPECT_EQ(write_bmp_frame(path, pattern(width, height, seed + i),
                                      make_header_block(width, height)),
                      0);
            paths.push_back(path);
        }
        return paths;
    }

    // Runs a shell command line in the temporary folder.
    int shell(const std::string& command) {
        return std::system(("cd " + sh_word(temp.path.string()) + " && " + command).c_str());
    }

    Result run(const std::vector<std::string>& args) {
        return test::run_program(ORV_CLI_PATH, args, temp);
    }

    Result diff(const std::vector<std::string>& reference, const std::vector<std::string>& degraded,
                const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"diff", "--profile", profile, "--reference"};
        args.insert(args.end(), reference.begin(), reference.end());
        args.push_back("--degraded");
        args.insert(args.end(), degraded.begin(), degraded.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }
};

// Outputs that cannot be written are refused before the profile's kernels or any frame are
// read, with nothing written: the kernel files are made unreadable to prove it.
TEST_F(FramesCli, OutputsAreCheckedBeforeTheFirstFrame) {
    const auto in = frames("in", 2, 0);
    const std::string missing = temp.file("no_such_folder");
    const std::string plain = text("plain", "a file, not a folder");
    struct Case {
        std::vector<std::string> extra;
        std::string line;
    };
    const Case cases[] = {
        {{"--json", missing + "/r.json"},
         "cannot write " + missing + "/r.json: its folder " + missing + " does not exist"},
        {{"--report", missing + "/r.html"},
         "cannot write " + missing + "/r.html: its folder " + missing + " does not exist"},
        {{"--summary", plain + "/s.csv"},
         "cannot write " + plain + "/s.csv: " + plain + " is not a folder"},
        {{"--json", temp.file("x"), "--report", temp.file("x")},
         temp.file("x") + " is named twice as an output"},
        {{"--csv", temp.file("t.csv"), "--summary", temp.file("sub/../t.csv")},
         temp.file("t.csv") + " is named twice as an output"},
        {{"--maps", temp.file("m"), "--heatmaps", temp.file("m"), "--csv", temp.file("m_0001.bmp")},
         temp.file("m_0001.bmp") + " is named twice as an output"},
    };
    fs::create_directory(temp.file("sub"));
    fs::rename(temp.file("profile/kernel_L.txt"), temp.file("profile/kernel_L.moved"));
    for (const Case& c : cases) {
        const Result result = diff(in, in, c.extra);
        EXPECT_EQ(result.status, 1) << c.line;
        EXPECT_EQ(result.err, "orv-cli: " + c.line + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(temp.file("x")));
    EXPECT_FALSE(fs::exists(temp.file("t.csv")));
    EXPECT_FALSE(fs::exists(temp.file("m_0000.bmp")));
}

TEST(OutputCheck, FindsEachProblemOnce) {
    test::TempFolder temp;
    fs::create_directory(temp.file("d"));
    std::ofstream(temp.file("d/old.csv")) << "x";
    struct Case {
        std::vector<std::string> names;
        std::optional<FailureKind> kind;
        std::string path;
    };
    const Case cases[] = {
        {{temp.file("a"), temp.file("b"), ""}, std::nullopt, ""},
        {{temp.file("a"), temp.file("d/../a")}, FailureKind::output_twice, temp.file("d/../a")},
        {{temp.file("a"), temp.file("d/old.csv")},
         FailureKind::output_exists,
         temp.file("d/old.csv")},
        {{temp.file("e/a")}, FailureKind::output_no_folder, temp.file("e/a")},
        {{temp.file("d/old.csv/a")}, FailureKind::output_not_folder, temp.file("d/old.csv/a")},
    };
    for (const Case& c : cases) {
        const std::optional<Failure> problem = output_problem(c.names);
        ASSERT_EQ(problem.has_value(), c.kind.has_value()) << c.path;
        if (!problem) continue;
        EXPECT_EQ(problem->kind, *c.kind);
        EXPECT_EQ(problem->path, c.path);
    }
}

// A table that cannot be written whole leaves no file, not even a temporary one, and the line
// gives the system's reason: a full file system (a small one mounted in a namespace of its own
// where the system allows it) and a file size limit.
TEST_F(FramesCli, TableOntoAFullDiskLeavesNothingAndSaysWhy) {
    const auto in = frames("in", 40, 0, 8, 8);
    std::string args =
        sh_word(ORV_CLI_PATH) + " diff --profile " + sh_word(profile) + " --reference";
    for (const std::string& f : in) args += " " + sh_word(f);
    args += " --degraded";
    for (const std::string& f : in) args += " " + sh_word(f);
    const std::string small = temp.file("small");
    fs::create_directory(small);
    const std::string table = small + "/t.csv";
    const std::string inside = "mount -t tmpfs -o size=4k tmpfs " + sh_word(small) +
                               " || exit 99; head -c 4096 /dev/zero > " +
                               sh_word(small + "/filler") + "; " + args + " --csv " +
                               sh_word(table) + " 2>" + sh_word(temp.file("err")) + "; echo $? >" +
                               sh_word(temp.file("status")) + "; rm " + sh_word(small + "/filler") +
                               "; ls -A " + sh_word(small) + " >" + sh_word(temp.file("left"));
    const std::string full = "unshare -rm sh -c " + sh_word(inside) + " >/dev/null 2>&1";
    if (std::system(full.c_str()) == 0) {
        EXPECT_EQ(slurp(temp.file("status")), "1\n");
        EXPECT_EQ(slurp(temp.file("err")),
                  "orv-cli: cannot write " + table + ": No space left on device\n");
        EXPECT_EQ(slurp(temp.file("left")), "");
    }

    const std::string limited =
        "sh -c " + sh_word("trap '' XFSZ; ulimit -f 2; exec " + args + " --csv " + sh_word(table)) +
        " 2>" + sh_word(temp.file("err"));
    const int raw = std::system(limited.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_EQ(slurp(temp.file("err")), "orv-cli: cannot write " + table + ": File too large\n");
    EXPECT_TRUE(fs::is_empty(small));
}

TEST(NumberedNames, FourDigitsUpTo10000FilesThenTheWidthOfTheLargest) {
    struct Case {
        int count, index;
        std::string name;
    };
    const Case cases[] = {
        {1, 0, "f_0000.bmp"},          {10000, 9999, "f_9999.bmp"}, {10001, 0, "f_00000.bmp"},
        {10001, 10000, "f_10000.bmp"}, {100000, 7, "f_00007.bmp"},  {100001, 7, "f_000007.bmp"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(numbered_name("f", c.index, ".bmp", numbered_digits(c.count)), c.name) << c.count;
    }
}

// 10001 frames of a raw file: every name has five digits, so the names sort in frame order.
TEST_F(FramesCli, NamesPast9999SortInOrder) {
    const int count = 10001;
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 12; ++k) bytes += static_cast<char>((i * 7 + k) % 256);
    }
    const std::string raw = text("many.rgb", bytes);
    fs::create_directory(temp.file("many"));
    const Result result = run({"noise", "--sigma", "0", "0", "0", "--seed", "1", "--size", "2x2",
                               "--pix-fmt", "rgb24", "--out", temp.file("many/f"), raw});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.file("many"))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(names.front(), "f_00000.bmp");
    EXPECT_EQ(names[9999], "f_09999.bmp");
    EXPECT_EQ(names.back(), "f_10000.bmp");
}

std::vector<std::string> table_rows(const std::string& table) {
    std::vector<std::string> rows;
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) rows.push_back(line);
    return rows;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

// What a command prints on standard output.
std::string output_of(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return text;
}

// A trimmed stream starts at the time of its first kept frame, not at 0: accepted whole.
TEST_F(FramesCli, StreamStartingAfterZeroIsAccepted) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 30 -c:v "
                    "libx264 -pix_fmt yuv420p base.mp4 && ffmpeg -v error -i base.mp4 -vf "
                    "trim=start_frame=2 -c:v libx264 trim.mp4"),
              0);
    const std::string trim = temp.file("trim.mp4");
    const std::string decoded = output_of(
        "ffprobe -v error -count_frames -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        sh_word(trim));
    ASSERT_EQ(decoded, "28\n");
    const Result result = diff({trim}, {trim});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(table_rows(result.out).size(), 28u);
}

// A display matrix turns the picture as FFmpeg turns it: the rotated file measures exactly
// like FFmpeg's own upright, lossless re-encode of it, at 8 bits and at 10 bits (where the
// exact signal measured turns with the picture).
TEST_F(FramesCli, RotationFollowsTheDisplayMatrix) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    struct Case {
        const char* angle;
        const char* words;
    };
    // rotate=90 tags a picture to be shown turned a quarter counter-clockwise.
    const Case cases[] = {{"90", "rotated 90 degrees counter-clockwise"},
                          {"180", "rotated 180 degrees"},
                          {"270", "rotated 90 degrees clockwise"}};
    for (const std::string format : {"yuv444p", "yuv444p10le"}) {
        const std::string source = "src_" + format + ".mp4";
        ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 3 -c:v "
                        "libx264 -qp 0 -pix_fmt " +
                        format + " " + source),
                  0);
        for (const Case& c : cases) {
            const std::string rotated = "rot" + std::string(c.angle) + format + ".mp4";
            const std::string upright = "up" + std::string(c.angle) + format + ".mp4";
            ASSERT_EQ(shell("ffmpeg -v error -i " + source + " -c copy -metadata:s:v:0 rotate=" +
                            std::string(c.angle) + " " + rotated + " && ffmpeg -v error -i " +
                            rotated + " -c:v libx264 -qp 0 -pix_fmt " + format + " " + upright),
                      0);
            const Result result = diff({temp.file(rotated)}, {temp.file(upright)});
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
            for (const std::string& row : table_rows(result.out)) {
                EXPECT_EQ(fields(row).at(3), "0.000000") << format << c.angle << ": " << row;
            }
            const Result kept =
                diff({temp.file(rotated)}, {temp.file(upright)}, {"--no-autorotate"});
            if (std::string(c.angle) == "180") {
                EXPECT_EQ(kept.status, 0);
                EXPECT_NE(fields(table_rows(kept.out).at(0)).at(3), "0.000000");
            } else {
                EXPECT_EQ(kept.status, 1);
                EXPECT_NE(kept.err.find("64x48"), std::string::npos) << kept.err;
            }
        }
    }
}

// A 12-frame 10-bit HEVC file cut short at several points: refused, naming the first frame
// that FFmpeg itself does not decode; with --allow-damaged measured as far as it decodes,
// paired by time, the missing frames listed on standard error and in the JSON record.
TEST_F(FramesCli, DamagedStreamsAreRefusedOrMeasuredAsFarAsTheyDecode) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 12 "
                    "-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p10le -crf 10 "
                    "whole.mkv"),
              0);
    const std::string whole = temp.file("whole.mkv");
    const auto size = static_cast<long long>(fs::file_size(whole));
    // Cut at 60, 90, 95 and 99 %, and (0) 300 bytes scrambled in the middle.
    for (int percent : {60, 90, 95, 99, 0}) {
        const std::string cut = temp.file("cut" + std::to_string(percent) + ".mkv");
        if (percent > 0) {
            ASSERT_EQ(shell("head -c " + std::to_string(size * percent / 100) + " whole.mkv > " +
                            sh_word(cut)),
                      0);
        } else {
            std::string bytes = slurp(whole);
            for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 300; ++i) {
                bytes[i] = static_cast<char>(bytes[i] * 7 + 13);
            }
            std::ofstream(cut, std::ios::binary) << bytes;
        }
        // FFmpeg's own word: damage reported, and the frames it decodes (times at 25 fps).
        const std::string complaint =
            output_of("ffmpeg -v error -i " + sh_word(cut) + " -f null - 2>&1");
        ASSERT_NE(complaint, "") << percent;
        std::vector<bool> decoded(12, false);
        std::string listed =
            output_of("ffprobe -v error -show_entries frame=pts_time -of csv=p=0 " + sh_word(cut));
        std::replace(listed.begin(), listed.end(), ',', ' ');
        std::istringstream times(listed);
        for (double t; times >> t;) {
            const auto k = static_cast<std::size_t>(std::lround(t * 25));
            if (k < decoded.size()) decoded[k] = true;
        }
        std::vector<int> missing;
        for (int k = 0; k < 12; ++k) {
            if (!decoded[static_cast<std::size_t>(k)]) missing.push_back(k);
        }
        ASSERT_FALSE(missing.empty()) << percent;

        const Result refused = diff({whole}, {cut});
        EXPECT_EQ(refused.status, 1) << percent;
        EXPECT_EQ(count_lines(refused.err, "orv-cli: " + cut + ": "), 1) << refused.err;
        EXPECT_NE(refused.err.find("the first frame " + std::to_string(missing.front())),
                  std::string::npos)
            << percent << ": " << refused.err;
        EXPECT_EQ(refused.out, "");

        const std::string json = temp.file("damaged" + std::to_string(percent) + ".json");
        const Result allowed = diff({whole}, {cut}, {"--allow-damaged", "--json", json});
        ASSERT_EQ(allowed.status, 0) << percent << ": " << allowed.err;
        const std::vector<std::string> rows = table_rows(allowed.out);
        ASSERT_EQ(rows.size(), 12u);
        std::string list;
        for (int k : missing) list += (list.empty() ? "" : ", ") + std::to_string(k);
        EXPECT_EQ(count_lines(allowed.err, "orv-cli: warning: " + cut), 1) << allowed.err;
        EXPECT_NE(allowed.err.find(": " + list + "\n"), std::string::npos) << allowed.err;
        std::string record = slurp(json);
        record.erase(std::remove_if(record.begin(), record.end(),
                                    [](char c) { return c == ' ' || c == '\n'; }),
                     record.end());
        std::string json_list = list;
        json_list.erase(std::remove(json_list.begin(), json_list.end(), ' '), json_list.end());
        EXPECT_NE(record.find("\"missing_frames\":[" + json_list + "]"), std::string::npos)
            << record;
        // Frames before the first missing one decode as in the whole file.
        for (int k = 0; k < missing.front(); ++k) {
            EXPECT_EQ(fields(rows[static_cast<std::size_t>(k)]).at(3), "0.000000") << k;
        }
    }

    // BMP frames have no time: against them the frames that decode are paired by position.
    ASSERT_EQ(shell("mkdir bmp && ffmpeg -v error -i whole.mkv bmp/f_%02d.bmp"), 0);
    const Result bmp = diff({temp.file("bmp")}, {temp.file("cut90.mkv")}, {"--allow-damaged"});
    ASSERT_EQ(bmp.status, 0) << bmp.err;
    EXPECT_EQ(table_rows(bmp.out).size(), 12u);
    EXPECT_EQ(count_lines(bmp.err, "frames are paired by position"), 1) << bmp.err;
}

// Frames 5 and 6 dropped from a 30-frame copy: by position a warning names both lengths; by
// time rows 5 and 6 compare against frame 4 and every other row is exact.
TEST_F(FramesCli, LengthsThatDifferAreWarnedAndPairedByTimeOnRequest) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 30 -c:v "
                    "libx264 -qp 0 -pix_fmt yuv444p ref.mp4 && ffmpeg -v error -i ref.mp4 -vf "
                    "\"select='not(between(n\\,5\\,6))'\" -fps_mode vfr -c:v libx264 -qp 0 "
                    "-pix_fmt yuv444p drop.mp4"),
              0);
    const std::string ref = temp.file("ref.mp4");
    const std::string drop = temp.file("drop.mp4");
    const std::string json = temp.file("position.json");
    const Result position = diff({ref}, {drop}, {"--json", json});
    ASSERT_EQ(position.status, 0) << position.err;
    EXPECT_EQ(table_rows(position.out).size(), 30u);
    EXPECT_EQ(count_lines(position.err,
                          "orv-cli: warning: the reference has 30 frames (25.000 "
                          "fps, 1.200 s) but the degraded 28 frames"),
              1)
        << position.err;
    EXPECT_NE(slurp(json).find("\"warnings\": [\n    \"the reference has 30 frames"),
              std::string::npos);
    EXPECT_EQ(count_lines(position.err, "warning"), 1);

    const Result by_time = diff({ref}, {drop}, {"--pair-by", "time"});
    ASSERT_EQ(by_time.status, 0) << by_time.err;
    const std::vector<std::string> rows = table_rows(by_time.out);
    ASSERT_EQ(rows.size(), 30u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> f = fields(rows[i]);
        const std::size_t expected = i == 5 || i == 6 ? 4 : i < 5 ? i : i - 2;
        EXPECT_EQ(f.at(2), drop + "#" + std::to_string(expected)) << i;
        EXPECT_EQ(f.at(3) == "0.000000", i != 5 && i != 6) << rows[i];
    }
    const Result quiet = diff({ref}, {drop}, {"--quiet", "--pair-by", "time"});
    EXPECT_EQ(quiet.err.find("frames;"), std::string::npos) << quiet.err;
    EXPECT_EQ(count_lines(quiet.err, "orv-cli: warning: "), 1) << quiet.err;
}

TEST_F(FramesCli, ToolHygiene) {
    const Result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orv-cli ", 0), 0u) << version.out;

    // Without --profile the current folder is the profile: said before the media (which do
    // not exist) are opened.
    const std::string line =
        output_of("cd " + sh_word(temp.path.string()) + " && " + sh_word(ORV_CLI_PATH) +
                  " diff --reference missing.mp4 --degraded missing.mp4 2>&1; echo status $?");
    EXPECT_EQ(
        line,
        "orv-cli: the current folder holds no profile (DISPGOG_parameter.txt is missing): name the "
        "profile-data folder with --profile\nstatus 1\n");

    const std::string fake = text("notes.png", "just some text, not a picture\n");
    const Result picture = diff({fake}, {fake});
    EXPECT_EQ(picture.status, 1);
    EXPECT_EQ(picture.err, "orv-cli: " + fake + ": not a video or image file ORV can read\n");

    const Result help = run({"diff", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* heading :
         {"Inputs:", "Colour handling:", "Outputs:", "Statistics and reports:", "Speed:"}) {
        EXPECT_NE(help.out.find(heading), std::string::npos) << heading;
    }
}

// Starts orv-cli in the background (output to files in `folder`); returns its process id.
pid_t start_cli(const std::vector<std::string>& args, const std::string& folder) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        std::string program = ORV_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::freopen((folder + "/bg_out.txt").c_str(), "w", stdout);
        std::freopen((folder + "/bg_err.txt").c_str(), "w", stderr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

int wait_status(pid_t pid) {
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// rd stopped by SIGINT keeps every complete encode (its bitstream and the record of it) and
// nothing else, whether the signal comes while the second point is encoded or while both are
// measured; the same command refuses, and with --resume measures what is missing without
// encoding a kept bitstream again, and writes the same files as a run never stopped.
TEST_F(FramesCli, InterruptedRdKeepsFinishedEncodesAndResumes) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 60 "
                    "-pix_fmt yuv444p -c:v ffv1 in.mkv"),
              0);
    const std::string input = temp.file("in.mkv");
    auto rd_args = [&](const std::string& out) {
        return std::vector<std::string>{"rd",    "--codec",   "h264",  "--crf",     "38",
                                        "18",    "--profile", profile, "--threads", "1",
                                        "--out", out,         input};
    };
    const std::string fresh = temp.file("fresh");
    ASSERT_EQ(run(rd_args(fresh)).status, 0);
    const struct {
        const char* signal_after;  // the file whose appearance starts the signal
        std::vector<std::string> kept;
    } cases[] = {
        {"h264_crf38.json", {"h264_crf38.json", "h264_crf38.mp4"}},
        {"h264_crf18.json",
         {"h264_crf18.json", "h264_crf18.mp4", "h264_crf38.json", "h264_crf38.mp4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal_after);
        const std::string out = temp.file(std::string("rd_") + c.signal_after);
        const pid_t pid = start_cli(rd_args(out), temp.path.string());
        const std::string awaited = out + "/" + c.signal_after;
        for (int waited = 0; waited < 60000 && !fs::exists(awaited); ++waited) ::usleep(1000);
        ASSERT_TRUE(fs::exists(awaited));
        ::kill(pid, SIGINT);
        const int status = wait_status(pid);
        if (status == 0) continue;  // the run finished before the signal
        EXPECT_EQ(status, 130) << slurp(temp.file("bg_err.txt"));
        ASSERT_EQ(listing(out), c.kept);

        const Result again = run(rd_args(out));
        EXPECT_EQ(again.status, 1);
        EXPECT_NE(again.err.find("h264_crf38.mp4 already exists"), std::string::npos) << again.err;

        // A kept bitstream is measured as it is, not encoded again.
        const fs::file_time_type old = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const std::string& name : c.kept) {
            if (name.ends_with(".mp4")) fs::last_write_time(out + "/" + name, old);
        }
        std::vector<std::string> resume = rd_args(out);
        resume.push_back("--resume");
        const Result resumed = run(resume);
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(slurp(out + "/rd.csv"), slurp(fresh + "/rd.csv"));
        EXPECT_EQ(listing(out), listing(fresh));
        for (const std::string& name : listing(fresh)) {
            if (name.ends_with(".json") && name.starts_with("h264")) {
                EXPECT_EQ(slurp(out + "/" + name), slurp(fresh + "/" + name)) << name;
            }
        }
        for (const std::string& name : c.kept) {
            if (name.ends_with(".mp4")) {
                EXPECT_EQ(fs::last_write_time(out + "/" + name), old) << name;
            }
        }
    }
}

// encode stopped by SIGTERM while it writes leaves no file at all.
TEST_F(FramesCli, InterruptedEncodeLeavesNothing) {
    if (!have_ffmpeg()) GTEST_SKIP() << "no ffmpeg command-line tool";
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 150 "
                    "-pix_fmt yuv444p -c:v ffv1 in.mkv"),
              0);
    const std::string out = temp.file("enc");
    fs::create_directory(out);
    const pid_t pid = start_cli({"encode", "--codec", "h264", "--crf", "20", "--preset", "veryslow",
                                 "--out", out + "/x", temp.file("in.mkv")},
                                temp.path.string());
    for (int waited = 0; waited < 60000 && fs::is_empty(out); ++waited) ::usleep(1000);
    ::usleep(20000);
    ::kill(pid, SIGTERM);
    const int status = wait_status(pid);
    if (status == 0) GTEST_SKIP() << "the run finished before the signal";
    EXPECT_EQ(status, 130) << slurp(temp.file("bg_err.txt"));
    EXPECT_TRUE(fs::is_empty(out)) << listing(out).front();
}

}  // namespace
}  // namespace orv
