// End-to-end runs of the built orv-cli on tiny frames in a temporary folder.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "image/bmp_file.h"
#include "image/pixel_buffer.h"
#include "measure/degradations.h"
#include "tests/support/cli_process.h"
#include "tests/support/media_writer.h"
#include "tests/support/sanitizer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using RunResult = test::CliResult;
using test::slurp;
const auto shell_quoted = test::shell_word;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "%.6f" text: optional minus, digits, a point and exactly six digits.
bool is_six_decimal_number(const std::string& text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    const std::size_t point = text.find('.');
    if (point == std::string::npos || point == i || text.size() != point + 7) return false;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (k != point && (text[k] < '0' || text[k] > '9')) return false;
    }
    return true;
}

std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

void put_u32(HeaderBlock& h, int at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        h[static_cast<std::size_t>(at + k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

HeaderBlock header_for(int width, int height) {
    HeaderBlock h(header_block_size, 0);
    put_u32(h, 0, 40);
    put_u32(h, 4, static_cast<std::uint32_t>(width));
    put_u32(h, 8, static_cast<std::uint32_t>(height));
    h[12] = 1;
    h[14] = 24;
    put_u32(h, 20, static_cast<std::uint32_t>(stride_for_width(width) * height));
    return h;
}

PixelBuffer pattern_frame(int width, int height, int seed) {
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

PixelBuffer uniform_frame(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    PixelBuffer p = make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = &p.bytes[static_cast<std::size_t>(y * p.stride + 3 * x)];
            px[0] = b;
            px[1] = g;
            px[2] = r;
        }
    }
    return p;
}

PixelBuffer read_pixels(const std::string& path) {
    PixelBuffer pixels;
    HeaderBlock header;
    EXPECT_GT(read_bmp_frame(path, pixels, header), 0) << path;
    return pixels;
}

class CliRun : public ::testing::Test {
protected:
    test::TempFolder temp;
    std::string profile;

    void SetUp() override {
        // The default display and matrix files with short kernels, so that runs are quick.
        profile = test::quick_profile(temp, ORV_DEFAULT_PROFILE);
    }

    std::string write_text(const std::string& name, const std::string& text) {
        std::ofstream(temp.file(name), std::ios::binary) << text;
        return temp.file(name);
    }

    std::string write_frame(const std::string& name, const PixelBuffer& pixels) {
        const std::string path = temp.file(name);
        EXPECT_EQ(write_bmp_frame(path, pixels, header_for(pixels.width, pixels.height)), 0);
        return path;
    }

    // Frames name_0.bmp ... with different patterns of one size.
    std::vector<std::string> write_frames(const std::string& name, int count, int seed,
                                          int width = 16, int height = 12) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(write_frame(name + "_" + std::to_string(i) + ".bmp",
                                        pattern_frame(width, height, seed + i)));
        }
        return paths;
    }

    RunResult run(const std::vector<std::string>& args) {
        return test::run_program(ORV_CLI_PATH, args, temp);
    }

    RunResult diff(const std::vector<std::string>& references,
                   const std::vector<std::string>& degraded,
                   const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"diff", "--profile", profile, "--reference"};
        args.insert(args.end(), references.begin(), references.end());
        args.push_back("--degraded");
        args.insert(args.end(), degraded.begin(), degraded.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }
};

TEST_F(CliRun, DiffTableHasOneRowPerSlotAndRepeatsTheShorterSequence) {
    struct Case {
        int references;
        int degraded;
    };
    const Case cases[] = {{1, 1}, {3, 5}, {5, 3}, {2, 2}, {1, 4}};
    int run_index = 0;
    for (const Case& c : cases) {
        const std::string tag = "r" + std::to_string(run_index++);
        const auto references = write_frames(tag + "ref", c.references, 0);
        const auto degraded = write_frames(tag + "deg", c.degraded, 50);
        const RunResult result = diff(references, degraded, {"--threads", "2"});
        ASSERT_EQ(result.status, 0) << result.err;
        const auto lines = lines_of(result.out);
        const int rows = std::max(c.references, c.degraded);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(rows) + 1) << result.out;
        EXPECT_EQ(lines[0],
                  "frame,reference,degraded,mean,max,min,median,p95,p99,above_1,"
                  "above_2,above_5,max_x,max_y");
        for (int i = 0; i < rows; ++i) {
            const auto fields = fields_of(lines[static_cast<std::size_t>(i) + 1]);
            ASSERT_EQ(fields.size(), 14u) << lines[static_cast<std::size_t>(i) + 1];
            EXPECT_EQ(fields[0], std::to_string(i));
            EXPECT_EQ(fields[1],
                      references[static_cast<std::size_t>(std::min(i, c.references - 1))]);
            EXPECT_EQ(fields[2], degraded[static_cast<std::size_t>(std::min(i, c.degraded - 1))]);
            for (std::size_t k = 3; k < 6; ++k)
                EXPECT_TRUE(is_six_decimal_number(fields[k])) << fields[k];
            const double mean = std::stod(fields[3]);
            const double max = std::stod(fields[4]);
            const double min = std::stod(fields[5]);
            EXPECT_GT(mean, 0.0);
            EXPECT_LE(min, mean);
            EXPECT_LE(mean, max);
        }
    }
}

TEST_F(CliRun, IdenticalFramesGiveZerosABlackPictureAndAZeroMap) {
    const std::string frame = write_frame("same.bmp", pattern_frame(13, 9, 3));
    const RunResult result =
        diff({frame}, {frame}, {"--maps", temp.file("map"), "--values", temp.file("val")});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "0," + frame + "," + frame +
                            ",0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
                            "0.000000,0.000000,0,0");

    const PixelBuffer grey = read_pixels(temp.file("map_0000.bmp"));
    EXPECT_EQ(grey.width, 13);
    EXPECT_EQ(grey.height, 9);
    for (std::uint8_t b : grey.bytes) EXPECT_EQ(b, 0);

    const std::string npy = slurp(temp.file("val_0000.npy"));
    ASSERT_GE(npy.size(), 64u + 13 * 9 * 8);
    const std::size_t offset = npy.size() - 13 * 9 * 8;
    for (std::size_t i = offset; i < npy.size(); ++i) EXPECT_EQ(npy[i], 0);
}

TEST_F(CliRun, NpyHeaderAndTopRowFirst) {
    // A red block near the top left of the picture (high stored rows): the map's large
    // values must appear in the first rows and columns of the array.
    const int w = 32, h = 24;
    PixelBuffer reference = uniform_frame(w, h, 128, 128, 128);
    PixelBuffer degraded = reference;
    for (int y = 2; y < 6; ++y) {   // picture rows from the top
        const int row = h - 1 - y;  // stored row
        for (int x = 3; x < 7; ++x) {
            std::uint8_t* px =
                &degraded.bytes[static_cast<std::size_t>(row * degraded.stride + 3 * x)];
            px[0] = 0;
            px[1] = 0;
            px[2] = 255;
        }
    }
    const std::string ref = write_frame("grey.bmp", reference);
    const std::string deg = write_frame("red.bmp", degraded);
    const RunResult result =
        diff({ref}, {deg}, {"--values", temp.file("v"), "--maps", temp.file("m")});
    ASSERT_EQ(result.status, 0) << result.err;

    const std::string npy = slurp(temp.file("v_0000.npy"));
    ASSERT_GE(npy.size(), 10u);
    EXPECT_EQ(npy.substr(0, 6), "\x93NUMPY");
    EXPECT_EQ(npy[6], '\x01');
    EXPECT_EQ(npy[7], '\x00');
    const std::size_t header_length =
        static_cast<unsigned char>(npy[8]) |
        (static_cast<std::size_t>(static_cast<unsigned char>(npy[9])) << 8);
    const std::size_t data_offset = 10 + header_length;
    EXPECT_EQ(data_offset % 64, 0u);
    ASSERT_EQ(npy.size(), data_offset + static_cast<std::size_t>(w * h) * 8);
    const std::string dict = npy.substr(10, header_length);
    EXPECT_EQ(dict.back(), '\n');
    EXPECT_NE(dict.find("'descr': '<f8'"), std::string::npos) << dict;
    EXPECT_NE(dict.find("'fortran_order': False"), std::string::npos) << dict;
    EXPECT_NE(dict.find("'shape': (24, 32)"), std::string::npos) << dict;

    std::vector<double> values(static_cast<std::size_t>(w * h));
    std::memcpy(values.data(), npy.data() + data_offset, values.size() * sizeof(double));
    std::size_t peak = 0;
    double sum = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] > values[peak]) peak = i;
        sum += values[i];
    }
    const int peak_row = static_cast<int>(peak) / w;
    const int peak_col = static_cast<int>(peak) % w;
    EXPECT_GE(peak_row, 2);
    EXPECT_LT(peak_row, 6);
    EXPECT_GE(peak_col, 3);
    EXPECT_LT(peak_col, 7);

    // The table's mean is the mean of the same map; the grey picture's brightest pixel is the
    // same pixel, in the stored (bottom-up) order of a BMP.
    const auto fields = fields_of(lines_of(result.out).at(1));
    EXPECT_NEAR(std::stod(fields.at(3)), sum / static_cast<double>(values.size()), 1e-6);
    EXPECT_NEAR(std::stod(fields.at(4)), values[peak], 1e-6);
    const PixelBuffer grey = read_pixels(temp.file("m_0000.bmp"));
    const int stored_row = h - 1 - peak_row;
    EXPECT_EQ(grey.bytes[static_cast<std::size_t>(stored_row * grey.stride + 3 * peak_col)], 255);
}

TEST_F(CliRun, ThreadCountDoesNotChangeAnyOutput) {
    const auto references = write_frames("ref", 5, 0, 15, 10);
    const auto degraded = write_frames("deg", 5, 9, 15, 10);
    std::vector<std::string> tables;
    for (const char* threads : {"1", "2", "3"}) {
        const std::string t = threads;
        const RunResult result =
            diff(references, degraded,
                 {"--threads", t, "--maps", temp.file("m" + t), "--values", temp.file("v" + t)});
        ASSERT_EQ(result.status, 0) << result.err;
        tables.push_back(result.out);
        const RunResult filtered =
            run({"filter", "--profile", profile, "--threads", t, "--out", temp.file("f" + t),
                 references[0], references[1], references[2], references[3], references[4]});
        ASSERT_EQ(filtered.status, 0) << filtered.err;
    }
    EXPECT_EQ(tables[1], tables[0]);
    EXPECT_EQ(tables[2], tables[0]);
    for (int i = 0; i < 5; ++i) {
        const std::string n = "_000" + std::to_string(i);
        for (const char* t : {"2", "3"}) {
            const std::string s = t;
            EXPECT_EQ(slurp(temp.file("m" + s + n + ".bmp")), slurp(temp.file("m1" + n + ".bmp")));
            EXPECT_EQ(slurp(temp.file("v" + s + n + ".npy")), slurp(temp.file("v1" + n + ".npy")));
            EXPECT_EQ(slurp(temp.file("f" + s + n + ".bmp")), slurp(temp.file("f1" + n + ".bmp")));
        }
        EXPECT_FALSE(slurp(temp.file("f1" + n + ".bmp")).empty());
    }
}

TEST_F(CliRun, ExistingOutputIsNeverOverwritten) {
    const auto frames = write_frames("in", 3, 0);
    struct Case {
        std::vector<std::string> args;
        std::string existing;
        std::string not_created;  // an output the run would have made first
    };
    const std::vector<Case> cases = {
        {{"diff", "--profile", profile, "--reference", frames[0], frames[1], frames[2],
          "--degraded", frames[0], "--maps", temp.file("map")},
         "map_0002.bmp",
         "map_0000.bmp"},
        {{"diff", "--profile", profile, "--reference", frames[0], "--degraded", frames[1],
          "--values", temp.file("val")},
         "val_0000.npy",
         ""},
        {{"diff", "--profile", profile, "--reference", frames[0], "--degraded", frames[1], "--csv",
          temp.file("table.csv"), "--maps", temp.file("tm")},
         "table.csv",
         "tm_0000.bmp"},
        {{"diff", "--profile", profile, "--reference", frames[0], frames[1], "--degraded",
          frames[0], "--heatmaps", temp.file("hm"), "--json", temp.file("run.json")},
         "hm_0001.png",
         "run.json"},
        {{"filter", "--profile", profile, "--out", temp.file("flt"), frames[0], frames[1]},
         "flt_0001.bmp",
         "flt_0000.bmp"},
        {{"noise", "--sigma", "1", "2", "3", "--seed", "5", "--out", temp.file("nz"), frames[0],
          frames[1], frames[2]},
         "nz_0002.bmp",
         "nz_0000.bmp"},
    };
    for (const Case& c : cases) {
        const std::string existing = write_text(c.existing, "keep me");
        const RunResult result = run(c.args);
        EXPECT_EQ(result.status, 1) << c.existing;
        EXPECT_NE(result.err.find(existing), std::string::npos) << result.err;
        EXPECT_EQ(slurp(existing), "keep me");
        if (!c.not_created.empty()) {
            EXPECT_FALSE(fs::exists(temp.file(c.not_created))) << c.not_created;
        }
    }
}

TEST_F(CliRun, UnreadableInputStopsWithTheFileNamed) {
    const auto frames = write_frames("ok", 2, 0);
    const std::string missing = temp.file("missing.bmp");
    const std::string not_bmp = write_text("text.bmp", "this is not a bitmap");
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const std::vector<Case> cases = {
        {{"diff", "--profile", profile, "--reference", missing, "--degraded", frames[0]}, missing},
        {{"diff", "--profile", profile, "--reference", frames[0], frames[1], "--degraded",
          frames[0], not_bmp},
         not_bmp},
        {{"filter", "--profile", profile, "--out", temp.file("f"), frames[0], missing}, missing},
        {{"noise", "--sigma", "1", "1", "1", "--out", temp.file("n"), not_bmp}, not_bmp},
    };
    for (const Case& c : cases) {
        const RunResult result = run(c.args);
        EXPECT_EQ(result.status, 1) << c.named;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_EQ(lines_of(result.err).size(), 1u) << result.err;
    }
    // Frames before the failing one are complete; nothing is left for the failing one.
    EXPECT_TRUE(fs::exists(temp.file("f_0000.bmp")));
    EXPECT_FALSE(fs::exists(temp.file("f_0001.bmp")));
    EXPECT_FALSE(fs::exists(temp.file("n_0000.bmp")));
}

TEST_F(CliRun, PairOfDifferentSizesIsRefused) {
    const std::string small = write_frame("small.bmp", pattern_frame(8, 8, 1));
    const std::string large = write_frame("large.bmp", pattern_frame(10, 8, 1));
    const RunResult result = diff({small}, {large});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(small), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(large), std::string::npos) << result.err;
}

TEST_F(CliRun, BadProfileIsRefusedBeforeAnyOutputExists) {
    const auto frames = write_frames("in", 1, 0);
    struct Case {
        const char* file;
        const char* text;  // nullptr: the file is removed
        const char* message;
    };
    const Case cases[] = {
        {"LMStoATD_mat.txt", nullptr, "Error: file open ["},
        {"DISPGOG_parameter.txt", "h h h h h h h h h 1 0 2.2 1 0 0 1 0 2.2", "green gamma"},
        {"RGBtoXYZ_mat.txt", "1 2 3 2 4 6 0 0 1", "is singular"},
        {"XYZtoLMS_mat.txt", "1 0 0 0 1 0 0 0", "is incomplete"},
    };
    for (const Case& c : cases) {
        fs::remove_all(profile);
        SetUp();  // a fresh, good profile
        const fs::path file = fs::path(profile) / c.file;
        if (c.text == nullptr) {
            fs::remove(file);
        } else {
            write_text("profile/" + std::string(c.file), c.text);
        }
        const std::string csv = temp.file(std::string("table_") + c.file + ".csv");
        const std::string maps = temp.file(std::string("map_") + c.file);
        const RunResult result =
            diff(frames, frames, {"--csv", csv, "--maps", maps, "--values", maps});
        EXPECT_EQ(result.status, 1) << c.file;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.file), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(csv)) << c.file;
        EXPECT_FALSE(fs::exists(maps + "_0000.bmp")) << c.file;
        EXPECT_FALSE(fs::exists(maps + "_0000.npy")) << c.file;
        // The table on standard output gets nothing either, not even its header.
        EXPECT_EQ(diff(frames, frames).out, "") << c.file;
    }

    const RunResult no_kernels =
        run({"filter", "--profile", temp.file("nowhere"), "--out", temp.file("x"), frames[0]});
    EXPECT_EQ(no_kernels.status, 1);
    EXPECT_NE(no_kernels.err.find("nowhere"), std::string::npos) << no_kernels.err;
    EXPECT_FALSE(fs::exists(temp.file("x_0000.bmp")));
}

TEST_F(CliRun, KernelTraceGoesToStandardErrorOnlyWhenAsked) {
    const auto frames = write_frames("in", 1, 0);
    const RunResult quiet = diff(frames, frames);
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(lines_of(quiet.out).size(), 2u);

    const RunResult traced = diff(frames, frames, {"--kernel-trace"});
    ASSERT_EQ(traced.status, 0);
    EXPECT_NE(traced.err.find("FilterSize"), std::string::npos) << traced.err;
    EXPECT_EQ(traced.out, quiet.out);
}

TEST_F(CliRun, CsvFileHoldsTheTable) {
    const auto frames = write_frames("in", 2, 0);
    const RunResult to_stdout = diff(frames, frames);
    const RunResult to_file = diff(frames, frames, {"--csv", temp.file("t.csv")});
    ASSERT_EQ(to_file.status, 0) << to_file.err;
    EXPECT_EQ(to_file.out, "");
    EXPECT_EQ(slurp(temp.file("t.csv")), to_stdout.out);
}

// An output that cannot be written stops the run with one English line that ends with the
// system's reason, and status 1.
TEST_F(CliRun, UnwritableOutputsEndWithTheSystemsReason) {
    const auto frames = write_frames("in", 1, 0);
    const std::string missing = temp.file("no_such_folder/t.csv");
    const std::string folder_missing =
        ": its folder " + temp.file("no_such_folder") + " does not exist\n";
    struct Case {
        std::vector<std::string> extra;
        std::string line;
    };
    const Case cases[] = {
        {{"--csv", missing}, "orv-cli: cannot write " + missing + folder_missing},
        {{"--maps", temp.file("no_such_folder/m")},
         "orv-cli: cannot write " + temp.file("no_such_folder/m_0000.bmp") + folder_missing},
        {{"--values", temp.file("no_such_folder/v")},
         "orv-cli: cannot write " + temp.file("no_such_folder/v_0000.npy") + folder_missing},
    };
    for (const Case& c : cases) {
        const RunResult result = diff(frames, frames, c.extra);
        EXPECT_EQ(result.status, 1) << c.extra[0];
        EXPECT_EQ(result.err, c.line);
    }

    // A folder without write permission (skipped where the user may write anyway, as root).
    const std::string folder = temp.file("read_only");
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(folder.c_str(), W_OK) == 0) GTEST_SKIP() << "the read-only folder is writable";
    const RunResult result = diff(frames, frames, {"--maps", folder + "/m"});
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "orv-cli: cannot write " + folder + "/m_0000.bmp: Permission denied\n");
}

TEST_F(CliRun, UsageErrorsExitWithTwo) {
    const auto frames = write_frames("in", 1, 0);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"compare"},
        {"diff", "--reference", frames[0]},
        {"diff", "--degraded", frames[0]},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--threads", "0"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--threads", "two"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--bogus"},
        {"filter", frames[0]},
        {"filter", "--out", temp.file("x")},
        {"noise", "--sigma", "1", "2", "--out", temp.file("x"), frames[0]},
        {"noise", "--sigma", "1", "2", "x", "--out", temp.file("x"), frames[0]},
        {"noise", "--sigma", "1", "2", "nan", "--out", temp.file("x"), frames[0]},
        {"noise", "--sigma", "1", "2", "3", "--seed", "-1", "--out", temp.file("x"), frames[0]},
        {"noise", "--sigma", "1", "2", "3", "--seed", "4294967296", "--out", temp.file("x"),
         frames[0]},
        {"noise", "--sigma", "1", "2", "3", frames[0]},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--delta-e", "95"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--heatmap-max", "0"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--thresholds", "1,-2"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--fail-above", "nan"},
        {"diff", "--reference", frames[0], "--degraded", frames[0], "--heatmap-colours", "jet"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        const RunResult result = run(args);
        EXPECT_EQ(result.status, 2) << shown << "\n" << result.err;
        EXPECT_FALSE(result.err.empty()) << shown;
    }
    EXPECT_FALSE(fs::exists(temp.file("x_0000.bmp")));
}

TEST_F(CliRun, HelpForTheToolAndEachSubcommand) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> mentions;
    };
    const std::vector<Case> cases = {
        {{"--help"}, {"diff", "filter", "noise", "never overwritten"}},
        {{"diff", "--help"},
         {"--reference", "--degraded", "--csv", "--maps", "--values", "--threads", "--profile",
          "standard error"}},
        {{"filter", "--help"}, {"--out", "--profile", "--threads"}},
        {{"noise", "--help"}, {"--sigma", "--seed", "--out"}},
    };
    for (const Case& c : cases) {
        const RunResult result = run(c.args);
        EXPECT_EQ(result.status, 0);
        for (const std::string& m : c.mentions) {
            EXPECT_NE(result.out.find(m), std::string::npos) << c.args[0] << ": " << m;
        }
    }
}

TEST_F(CliRun, FilterKeepsTheGeometryAndAUniformFrame) {
    const std::string uniform = write_frame("u.bmp", uniform_frame(13, 9, 40, 150, 220));
    const std::string pattern = write_frame("p.bmp", pattern_frame(13, 9, 2));
    const RunResult result =
        run({"filter", "--profile", profile, "--out", temp.file("f"), uniform, pattern});
    ASSERT_EQ(result.status, 0) << result.err;
    const PixelBuffer out = read_pixels(temp.file("f_0000.bmp"));
    ASSERT_EQ(out.width, 13);
    ASSERT_EQ(out.height, 9);
    const int expected[3] = {40, 150, 220};
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 13; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int v = out.bytes[static_cast<std::size_t>(y * out.stride + 3 * x + c)];
                EXPECT_LE(std::abs(v - expected[c]), 1) << x << "," << y << "," << c;
            }
        }
    }
    const PixelBuffer filtered = read_pixels(temp.file("f_0001.bmp"));
    EXPECT_NE(filtered.bytes, read_pixels(pattern).bytes);  // the pattern is blurred
}

TEST_F(CliRun, NoiseMatchesTheLibraryPassesWithAFixedSeed) {
    const std::string frame = write_frame("in.bmp", pattern_frame(11, 7, 4));
    const RunResult result = run({"noise", "--sigma", "10", "-5", "30.5", "--seed", "77", "--out",
                                  temp.file("n"), frame, frame});
    ASSERT_EQ(result.status, 0) << result.err;
    PixelBuffer expected = read_pixels(frame);
    add_gaussian_noise(expected, 10.0, 0.0, 30.5, [] { return 77u; });
    EXPECT_EQ(read_pixels(temp.file("n_0000.bmp")).bytes, expected.bytes);
    EXPECT_EQ(read_pixels(temp.file("n_0001.bmp")).bytes, expected.bytes);

    const RunResult clean =
        run({"noise", "--sigma", "0", "0", "0", "--out", temp.file("z"), frame});
    ASSERT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(read_pixels(temp.file("z_0000.bmp")).bytes, read_pixels(frame).bytes);
}

TEST_F(CliRun, FileNamesWithCommasAreQuotedInTheTable) {
    const std::string odd = write_frame("a,\"b\".bmp", pattern_frame(8, 6, 1));
    const std::string plain = write_frame("plain.bmp", pattern_frame(8, 6, 2));
    const RunResult result = diff({odd}, {plain});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 2u);
    const std::string quoted_name = "\"" + temp.file("a,\"\"b\"\".bmp") + "\"";
    EXPECT_EQ(lines[1].substr(0, 2 + quoted_name.size() + 1 + plain.size()),
              "0," + quoted_name + "," + plain);
}

TEST_F(CliRun, OutOfMemoryIsReportedWithStatusOne) {
#ifdef ORV_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
    // 3000 x 3000 needs well over half a gigabyte of planes; the address space is limited to
    // about 400 MB for the run, which still lets the program and its media libraries load.
    const std::string frame = write_frame("big.bmp", pattern_frame(3000, 3000, 1));
    const std::string command =
        "ulimit -v 400000; " + shell_quoted(ORV_CLI_PATH) + " diff --threads 1 --profile " +
        shell_quoted(profile) + " --reference " + shell_quoted(frame) + " --degraded " +
        shell_quoted(frame) + " >/dev/null 2>" + shell_quoted(temp.file("err.txt"));
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(slurp(temp.file("err.txt")).find("out of memory"), std::string::npos)
        << slurp(temp.file("err.txt"));
#endif
}

// Status 3 comes after every output is written and names the frames; without a limit
// crossed the status stays 0. Frame 0 pairs a frame with itself (every figure 0).
TEST_F(CliRun, FailAboveStatusesNameTheFrames) {
    const auto references = write_frames("ref", 3, 0);
    const auto degraded = write_frames("deg", 3, 40);
    const std::vector<std::string> pairs_degraded = {references[0], degraded[1], degraded[2]};
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string named;  // expected on standard error, "" for nothing at all
    };
    const std::vector<Case> cases = {
        {{}, 0, ""},
        {{"--fail-above", "1000"}, 0, ""},
        {{"--fail-above-p95", "1000", "--fail-above", "1000"}, 0, ""},
        {{"--fail-above", "0"},
         3,
         "2 of 3 frames have a mean above 0.000000 (--fail-above): frames 1, 2"},
        {{"--fail-above-p95", "0", "--quiet"}, 3, "(--fail-above-p95): frames 1, 2"},
        {{"--fail-above", "1000", "--fail-above-p95", "0"}, 3, "95th percentile above"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string json = temp.file("run" + std::to_string(n++) + ".json");
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--json", json});
        const RunResult result = diff(references, pairs_degraded, options);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_TRUE(fs::exists(json));
        if (c.named.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
            EXPECT_EQ(result.err.find("frame 0"), std::string::npos) << result.err;
        }
    }
}

// The summary, the JSON record and the heatmaps agree with the table, for every formula.
TEST_F(CliRun, ReportOutputsAgreeWithTheTable) {
    const auto references = write_frames("ref", 2, 0);
    const auto degraded = write_frames("deg", 2, 9);
    std::vector<double> means;
    for (const char* formula : {"94", "2000", "76"}) {
        const std::string tag = std::string("f") + formula;
        const RunResult result =
            diff(references, degraded,
                 {"--delta-e", formula, "--summary", temp.file(tag + ".csv"), "--heatmaps",
                  temp.file(tag), "--thresholds", "0.5,3", "--quiet"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        const auto lines = lines_of(result.out);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[0].find(",above_0.5,above_3,max_x,max_y"), std::string::npos) << lines[0];
        const auto summary = lines_of(slurp(temp.file(tag + ".csv")));
        EXPECT_EQ(summary[0], "figure,value");
        const std::string name = formula == std::string("94")     ? "CIE94"
                                 : formula == std::string("2000") ? "CIEDE2000"
                                                                  : "CIE76";
        EXPECT_EQ(summary[1], "formula," + name);
        const double mean0 = std::stod(fields_of(lines[1])[3]);
        const double mean1 = std::stod(fields_of(lines[2])[3]);
        ASSERT_EQ(fields_of(summary[4])[0], "mean_of_means");
        EXPECT_NEAR(std::stod(fields_of(summary[4])[1]), (mean0 + mean1) / 2, 1e-6);
        EXPECT_TRUE(fs::exists(temp.file(tag + "_0000.png")));
        EXPECT_TRUE(fs::exists(temp.file(tag + "_0001.png")));
        means.push_back(mean0);
    }
    EXPECT_NE(means[0], means[1]);
    EXPECT_NE(means[0], means[2]);
}

TEST(CliDefaultProfile, MeasuresTheBundledSamplesAgainstANoisyCopy) {
    test::TempFolder temp;
    std::vector<std::string> samples;
    for (int i = 0; i < 4; ++i) {
        samples.push_back(std::string(ORV_SAMPLES_DIR) + "/reference_000" + std::to_string(i) +
                          ".bmp");
    }
    auto run = [&](const std::vector<std::string>& args) {
        return test::run_program(ORV_CLI_PATH, args, temp);
    };
    std::vector<std::string> noise_args = {"noise", "--sigma",         "8", "8", "8", "--seed", "1",
                                           "--out", temp.file("noisy")};
    noise_args.insert(noise_args.end(), samples.begin(), samples.end());
    const RunResult noisy = run(noise_args);
    ASSERT_EQ(noisy.status, 0) << noisy.err;

    std::vector<std::string> diff_args = {"diff", "--profile", ORV_DEFAULT_PROFILE, "--reference"};
    diff_args.insert(diff_args.end(), samples.begin(), samples.end());
    diff_args.push_back("--degraded");
    for (int i = 0; i < 4; ++i)
        diff_args.push_back(temp.file("noisy_000" + std::to_string(i) + ".bmp"));
    const RunResult measured = run(diff_args);
    ASSERT_EQ(measured.status, 0) << measured.err;
    const auto lines = lines_of(measured.out);
    ASSERT_EQ(lines.size(), 5u);
    // Mean, maximum and minimum of each frame, recorded with the first, straightforward build
    // of the pipeline (before any of its speed work): the faster pipeline keeps every digit.
    const char* recorded[4][3] = {{"0.688365", "2.693012", "0.023517"},
                                  {"0.694282", "2.491644", "0.019817"},
                                  {"0.681155", "2.534866", "0.009573"},
                                  {"0.680163", "2.413060", "0.029663"}};
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = fields_of(lines[i]);
        ASSERT_EQ(fields.size(), 14u);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(fields[3 + k], recorded[i - 1][k]) << lines[i];
    }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// --- Media files on the command line.

std::vector<PixelBuffer> sample_pixels() {
    std::vector<PixelBuffer> frames;
    for (int i = 0; i < 4; ++i) {
        frames.push_back(read_pixels(std::string(ORV_SAMPLES_DIR) + "/reference_000" +
                                     std::to_string(i) + ".bmp"));
    }
    return frames;
}

test::VideoSpec rgb_spec(const char* container, const char* codec, const char* format,
                         const PixelBuffer& size) {
    test::VideoSpec spec;
    spec.container = container;
    spec.codec = codec;
    spec.pixel_format = format;
    spec.width = size.width;
    spec.height = size.height;
    return spec;
}

// The four samples and noisy copies as BMP files, as lossless videos (FFV1 RGB in MKV; the
// fourth sample has another size, so it is a video of its own) and as PNG files: every form
// gives the same table and the same maps.
TEST_F(CliRun, LosslessVideosAndPngCopiesMeasureExactlyLikeTheBmpFiles) {
    const std::vector<PixelBuffer> clean = sample_pixels();
    std::vector<PixelBuffer> noisy = clean;
    for (PixelBuffer& p : noisy) add_gaussian_noise(p, 6, 4, 8, [] { return 7u; });
    std::vector<std::string> bmp_ref, bmp_deg, png_ref, png_deg;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i);
        bmp_ref.push_back(write_frame("r" + n + ".bmp", clean[i]));
        bmp_deg.push_back(write_frame("d" + n + ".bmp", noisy[i]));
        png_ref.push_back(temp.file("r" + n + ".png"));
        png_deg.push_back(temp.file("d" + n + ".png"));
        ASSERT_EQ(test::write_video(png_ref.back(), rgb_spec("", "png", "rgb24", clean[i]), 1,
                                    test::bgr_frames({clean[i]})),
                  "");
        ASSERT_EQ(test::write_video(png_deg.back(), rgb_spec("", "png", "rgb24", noisy[i]), 1,
                                    test::bgr_frames({noisy[i]})),
                  "");
    }
    auto video = [&](const std::string& name, const std::vector<PixelBuffer>& frames) {
        const std::string path = temp.file(name);
        EXPECT_EQ(test::write_video(path, rgb_spec("matroska", "ffv1", "bgr0", frames[0]),
                                    static_cast<int>(frames.size()), test::bgr_frames(frames)),
                  "");
        return path;
    };
    const std::vector<std::string> mkv_ref = {video("r012.mkv", {clean[0], clean[1], clean[2]}),
                                              video("r3.mkv", {clean[3]})};
    const std::vector<std::string> mkv_deg = {video("d012.mkv", {noisy[0], noisy[1], noisy[2]}),
                                              video("d3.mkv", {noisy[3]})};

    auto numbers = [](const std::string& table) {
        std::vector<std::string> rows;
        for (const std::string& line : lines_of(table)) {
            const auto f = fields_of(line);
            if (f.size() >= 6) rows.push_back(f[0] + "," + f[3] + "," + f[4] + "," + f[5]);
        }
        return rows;
    };
    const RunResult bmp = diff(bmp_ref, bmp_deg, {"--values", temp.file("bmp")});
    ASSERT_EQ(bmp.status, 0) << bmp.err;
    ASSERT_EQ(numbers(bmp.out).size(), 5u);
    const std::pair<std::string, RunResult> others[] = {
        {"mkv", diff(mkv_ref, mkv_deg, {"--values", temp.file("mkv"), "--threads", "2"})},
        {"png", diff(png_ref, png_deg, {"--values", temp.file("png")})},
    };
    for (const auto& [name, result] : others) {
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(numbers(result.out), numbers(bmp.out)) << name;
        for (int i = 0; i < 4; ++i) {
            const std::string suffix = "_000" + std::to_string(i) + ".npy";
            EXPECT_EQ(slurp(temp.file(name + suffix)), slurp(temp.file("bmp" + suffix)))
                << name << " map " << i;
        }
    }
}

TEST_F(CliRun, StartsAndFramesAlignAndTrimVideos) {
    const std::string clip = temp.file("clip.mkv");
    test::VideoSpec spec = rgb_spec("matroska", "ffv1", "bgr0", make_pixel_buffer(16, 12));
    ASSERT_EQ(test::write_video(clip, spec, 6, test::pattern_frames()), "");
    const RunResult result =
        diff({clip}, {clip}, {"--reference-start", "1", "--degraded-start", "2", "--frames", "3"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    EXPECT_EQ(lines[1].rfind("0," + clip + "#1," + clip + "#2,", 0), 0u) << lines[1];
    EXPECT_EQ(lines[3].rfind("2," + clip + "#3," + clip + "#4,", 0), 0u) << lines[3];
    // Each media input states how its pixels became RGB.
    EXPECT_NE(result.err.find("reference " + clip + ": 6 frames; ffv1 bgr0: RGB"),
              std::string::npos)
        << result.err;
}

TEST_F(CliRun, BadMediaStopsWithOneLineNamingTheFile) {
    const std::string good = temp.file("good.mp4");
    test::VideoSpec spec = rgb_spec("mp4", "libx264", "yuv420p", make_pixel_buffer(32, 16));
    spec.codec_options = {{"preset", "ultrafast"}};
    ASSERT_EQ(test::write_video(good, spec, 4, test::pattern_frames()), "");
    const auto bytes = test::file_bytes(good);
    const std::string cut = temp.file("cut.mp4");
    test::write_bytes(cut,
                      {bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3)});
    const std::string text = write_text("notes.txt", "not a picture\n");
    const std::string raw = temp.file("frames.yuv");
    test::write_bytes(raw, std::vector<std::uint8_t>(32 * 16 * 3 / 2 * 2 + 5, 128));
    const std::string bmp = write_frame("other.bmp", pattern_frame(16, 16, 1));
    struct Case {
        std::vector<std::string> reference;
        std::vector<std::string> extra;
        std::string named;
        std::string words;
    };
    const Case cases[] = {
        {{cut}, {}, cut, "cut short"},
        {{text}, {}, text, "not a video or image file"},
        {{raw}, {"--size", "32x16", "--pix-fmt", "yuv420p"}, raw, "frames of 768 bytes"},
        {{raw}, {}, raw, "needs --size"},
        {{bmp}, {}, bmp, "must have the same size"},
    };
    for (const Case& c : cases) {
        const std::string csv = temp.file("table_" + std::to_string(&c - cases) + ".csv");
        std::vector<std::string> extra = c.extra;
        extra.insert(extra.end(), {"--csv", csv});
        const RunResult result = diff(c.reference, {good}, extra);
        EXPECT_EQ(result.status, 1) << c.named;
        const auto lines = lines_of(result.err);
        ASSERT_FALSE(lines.empty());
        // Lines before the last only state the inputs' colour handling.
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_NE(lines[i].find(" frame"), std::string::npos) << lines[i];
        }
        EXPECT_NE(lines.back().find(c.named), std::string::npos) << result.err;
        EXPECT_NE(lines.back().find(c.words), std::string::npos) << result.err;
        // Refused before any pair: no table was started, or it holds only its header.
        if (fs::exists(csv)) {
            EXPECT_EQ(lines_of(slurp(csv)).size(), 1u) << c.named;
        }
    }
    const RunResult bad_option = diff({raw}, {good}, {"--size", "32by16"});
    EXPECT_EQ(bad_option.status, 2);
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// The viewing options: one form at most, checked before any work (status 2 and one line
// naming the option), the filters' limit checked once the profile is loaded, and the map
// measured at the angle asked for.
TEST_F(CliRun, ViewingOptionsRefusedWithStatusTwoNamingTheOption) {
    const auto frames = write_frames("in", 1, 0);
    const std::string out = temp.file("x");
    const struct {
        std::vector<std::string> options;
        const char* named;
    } cases[] = {
        {{"--ppd", "0"}, "--ppd must be a positive finite number, not 0"},
        {{"--ppd", "-40"}, "--ppd must be a positive finite number, not -40"},
        {{"--ppd", "inf"}, "--ppd must be a positive finite number, not inf"},
        {{"--ppd", "forty"}, "--ppd"},
        {{"--distance-cm", "60"},
         "--distance-cm needs --display-width-cm and "
         "--display-width-pixels as well"},
        {{"--ppd", "40", "--viewing", "phone"}, "--viewing and --ppd both give"},
        {{"--viewing", "cinema"}, "--viewing: unknown viewing preset \"cinema\""},
        {{"--ppd", "0.5"}, "--ppd: 0.50 pixels per degree; at least 1 is needed"},
        {{"--ppd", "150"},
         "--ppd: 150.00 pixels per degree is above the 141.42 the profile's "
         "filter responses reach"},
        {{"--distance-heights", "10", "--display-height-pixels", "2160"},
         "--distance-heights and --display-height-pixels: 376.99 pixels per degree is above "
         "the 141.42"},
    };
    for (const auto& c : cases) {
        const std::vector<std::vector<std::string>> commands = {
            {"diff", "--profile", profile, "--reference", frames[0], "--degraded", frames[0],
             "--csv", out + ".csv"},
            {"filter", "--profile", profile, "--out", out, frames[0]},
            {"rd", "--profile", profile, "--codec", "h264", "--crf", "30", "--out", out + "_rd",
             frames[0]},
        };
        for (std::vector<std::string> args : commands) {
            args.insert(args.end(), c.options.begin(), c.options.end());
            const RunResult result = run(args);
            EXPECT_EQ(result.status, 2) << args[0] << " " << c.named << "\n" << result.err;
            EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        }
    }
    EXPECT_FALSE(fs::exists(out + ".csv"));
    EXPECT_FALSE(fs::exists(out + "_0000.bmp"));
    EXPECT_FALSE(fs::exists(out + "_rd"));  // rd's folder is made only for a run that starts
    // The limit's own figure is accepted.
    EXPECT_EQ(
        run({"filter", "--profile", profile, "--out", out, "--ppd", "141.42", frames[0]}).status,
        0);
}

TEST_F(CliRun, ViewingOptionsSetTheAngleOfTheMapAndTheRecord) {
    const auto refs = write_frames("ref", 1, 2, 24, 18);
    const auto degs = write_frames("deg", 1, 9, 24, 18);
    const auto map_with = [&](const std::string& name, std::vector<std::string> options) {
        options.insert(options.end(), {"--values", temp.file(name), "--quiet"});
        const RunResult result = diff(refs, degs, options);
        EXPECT_EQ(result.status, 0) << result.err;
        return slurp(temp.file(name + "_0000.npy"));
    };
    const std::string fixed = map_with("fixed", {});
    EXPECT_EQ(map_with("laptop", {"--viewing", "laptop14"}), fixed);
    const std::string monitor = map_with(
        "monitor",
        {"--display-width-cm", "59.8", "--display-width-pixels", "3840", "--distance-cm", "60"});
    EXPECT_NE(monitor, fixed);
    EXPECT_EQ(map_with("preset", {"--viewing", "desktop27-4k"}), monitor);
    EXPECT_NE(map_with("ppd", {"--ppd", "40"}), fixed);

    const std::string json = temp.file("run.json");
    ASSERT_EQ(diff(refs, degs, {"--ppd", "40", "--json", json, "--quiet"}).status, 0);
    const std::string record = slurp(json);
    EXPECT_NE(record.find("\"pixels_per_degree\": 40.0"), std::string::npos) << record;
    EXPECT_NE(record.find("\"pixel_angle_degrees\": 0.025"), std::string::npos) << record;
    EXPECT_NE(record.find("\"source\": \"ppd\""), std::string::npos) << record;
    EXPECT_EQ(record.find("display_diagonal"), std::string::npos) << record;
    const std::string html = temp.file("run.html");
    ASSERT_EQ(diff(refs, degs, {"--viewing", "phone", "--report", html, "--quiet"}).status, 0);
    EXPECT_NE(slurp(html).find("<td>94.25 pixels per degree (pixel angle 0.0106103&deg;; phone)"),
              std::string::npos);
}

}  // namespace
}  // namespace orv
