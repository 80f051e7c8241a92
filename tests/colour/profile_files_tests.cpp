#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "scielab/conditions.h"
#include "tests/colour/scratch_folder.h"

namespace orv {
namespace {

using colour_test::ScratchFolder;

std::string failure_text(const auto& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return orv::failure_text(failure);
    }
    return "(no failure)";
}

TEST(TokenToDouble, LeadingNumberConversion) {
    struct Case {
        const char* token;
        double value;
    };
    const Case cases[] = {
        {"2.2e0", 2.2},     {"2.2", 2.2},
        {"1.5abc", 1.5},    {"1,5", 1.0},
        {"abc", 0.0},       {"", 0.0},
        {"-", 0.0},         {".", 0.0},
        {"1d3", 1000.0},    {"1D3", 1000.0},
        {"-2.5D-1", -0.25}, {"1E2", 100.0},
        {"1e", 1.0},        {"1e+", 1.0},
        {"1ex5", 1.0},      {"+.5", 0.5},
        {"5.", 5.0},        {"-0.75x", -0.75},
        {".e5", 0.0},       {"nan", 0.0},
        {"inf", 0.0},       {"-infinity", 0.0},
        {"0x1p3", 0.0},     {"12e-1", 1.2},
        {"1e-400", 0.0},    {"0.00392156862745098", 0.00392156862745098},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(token_to_double(c.token), c.value) << "token \"" << c.token << "\"";
    }
    EXPECT_TRUE(std::isinf(token_to_double("1e999")));
}

TEST(ProfilePath, AppendsSeparatorWhateverTheFolderEndsWith) {
    EXPECT_EQ(profile_path("/data/profile", "RGBtoXYZ_mat.txt"), "/data/profile/RGBtoXYZ_mat.txt");
    EXPECT_EQ(profile_path("/data/profile/", "kernel_L.txt"), "/data/profile//kernel_L.txt");
    EXPECT_EQ(profile_path("", "DISPGOG_parameter.txt"), "/DISPGOG_parameter.txt");
}

TEST(ReadDisplayModel, SkipsNineHeaderWordsAndIgnoresTrailingText) {
    ScratchFolder dir;
    const std::string path =
        dir.write("DISPGOG_parameter.txt",
                  "R G B gain offset gamma any header word\n"
                  "1.02 -0.02 2.2e0\n0.98d0 0.02 2.4\n1 0 1.8 trailing words 99 are ignored");
    const GogParameters gog = read_display_model(path);
    EXPECT_EQ(gog.red.gain, 1.02);
    EXPECT_EQ(gog.red.offset, -0.02);
    EXPECT_EQ(gog.red.gamma, 2.2);
    EXPECT_EQ(gog.green.gain, 0.98);
    EXPECT_EQ(gog.green.offset, 0.02);
    EXPECT_EQ(gog.green.gamma, 2.4);
    EXPECT_EQ(gog.blue.gain, 1.0);
    EXPECT_EQ(gog.blue.offset, 0.0);
    EXPECT_EQ(gog.blue.gamma, 1.8);
}

TEST(ReadDisplayModel, RefusesModelsThatCannotBeInverted) {
    struct Case {
        const char* values;
        const char* expected;
    };
    const Case cases[] = {
        {"0 0 2.2  1 0 2.2  1 0 2.2", "red gain is 0"},
        {"1 0 2.2  1 0 0  1 0 2.2", "green gamma is not above 0"},
        {"1 0 2.2  1 0 2.2  1 0 -1", "blue gamma is not above 0"},
        {"abc 0 2.2  1 0 2.2  1 0 2.2", "red gain is 0"},  // letters read as 0
        {"1 0 2.2  1 0 1e-320  1 0 2.2", "too small to be inverted"},
        {"1 0 2.2  1 1e999 2.2  1 0 2.2", "out of range"},
        // Found by fuzzing: 9^980000 overflows, and the infinity turned into NaN downstream.
        {"1 0 2.2  9 0 980000  1 0 2.2", "green channel overflows"},
        {"-5 10 400  1 0 2.2  1 0 2.2", "red channel overflows"},
        {"1 0 2.2  1 0 2.2  2 0 110", "blue channel overflows"},  // 2^110 > 1e30
    };
    for (const Case& c : cases) {
        std::istringstream in(std::string("h h h h h h h h h ") + c.values);
        const std::string text = failure_text([&] { parse_display_model(in, "model.txt"); });
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.values << " -> " << text;
        EXPECT_NE(text.find("model.txt"), std::string::npos) << text;
    }
}

TEST(ReadMatrix3, LineStructureCarriesNoMeaning) {
    ScratchFolder dir;
    const std::string one_line = dir.write("a.txt", "1 2 3 4 5 6 7 8 9");
    const std::string three_lines = dir.write("b.txt", "1\t2 3\r\n4 5 6\n7 8 9\n\n10 extra");
    const Matrix3 expected = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(read_matrix3(one_line), expected);
    EXPECT_EQ(read_matrix3(three_lines), expected);
}

TEST(ProfileReaders, RefuseMissingIncompleteAndOversizedFiles) {
    ScratchFolder dir;
    const std::string missing = dir.file("LMStoATD_mat.txt");
    const std::string eight = dir.write("eight.txt", "1 2 3 4 5 6 7 8");
    const std::string short_model = dir.write("short.txt", "h h h h h h h h h 1 0 2.2 1 0");
    const std::string header_only = dir.write("header.txt", "h h h h h");
    const std::string long_token =
        dir.write("long.txt", std::string(100, '1') + " 2 3 4 5 6 7 8 9");
    const std::string ok_token = dir.write("ok.txt", std::string(99, '0') + " 2 3 4 5 6 7 8 9");

    EXPECT_EQ(failure_text([&] { read_matrix3(missing); }), "Error: file open [" + missing + "].");
    EXPECT_EQ(failure_text([&] { read_display_model(missing); }),
              "Error: file open [" + missing + "].");
    EXPECT_EQ(failure_text([&] { read_matrix3(eight); }),
              "Error: file [" + eight + "] is incomplete: it holds 8 of the 9 values it needs.");
    EXPECT_EQ(
        failure_text([&] { read_display_model(short_model); }),
        "Error: file [" + short_model + "] is incomplete: it holds 5 of the 9 values it needs.");
    EXPECT_EQ(
        failure_text([&] { read_display_model(header_only); }),
        "Error: file [" + header_only + "] is incomplete: it holds 0 of the 9 values it needs.");
    EXPECT_NE(failure_text([&] { read_matrix3(long_token); }).find("longer than 99"),
              std::string::npos);
    EXPECT_EQ(read_matrix3(ok_token)[0], 0.0);
}

TEST(ProfileReaders, EveryCallClosesItsFile) {
    ScratchFolder dir;
    const std::string path = dir.write("m.txt", "1 0 0 0 1 0 0 0 1");
    // Far more reads than the usual limit of open files.
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(read_matrix3(path)[4], 1.0);
}

// A folder with the three matrix files; SmithPokornyCones.txt is deliberately absent.
void write_matrices(const ScratchFolder& dir, const char* rgb_to_xyz, const char* xyz_to_lms,
                    const char* lms_to_atd) {
    dir.write("RGBtoXYZ_mat.txt", rgb_to_xyz);
    dir.write("XYZtoLMS_mat.txt", xyz_to_lms);
    dir.write("LMStoATD_mat.txt", lms_to_atd);
}

TEST(LoadMatrices, ComposeInFileOrder) {
    ScratchFolder dir;
    write_matrices(dir, "2 0 0\n0 3 0\n0 0 5", "0 1 0\n0 0 1\n1 0 0", "1 1 0\n0 1 1\n1 0 1");
    // Ma * (Ml * Mx): Ml * Mx permutes the scaled rows, Ma adds neighbouring rows.
    const Matrix3 expected_rgb = {0, 3, 5, 2, 0, 5, 2, 3, 0};
    const Matrix3 expected_xyz = {0, 1, 1, 1, 0, 1, 1, 1, 0};
    EXPECT_EQ(load_rgb_to_atd(dir.folder()), expected_rgb);
    EXPECT_EQ(load_xyz_to_atd(dir.folder()), expected_xyz);
}

TEST(LoadMatrices, MissingOrSingularFilesAreRefusedByName) {
    ScratchFolder dir;
    dir.write("RGBtoXYZ_mat.txt", "1 0 0 0 1 0 0 0 1");
    dir.write("XYZtoLMS_mat.txt", "1 0 0 0 1 0 0 0 1");
    const std::string lms = dir.file("LMStoATD_mat.txt");
    EXPECT_EQ(failure_text([&] { load_rgb_to_atd(dir.folder()); }),
              "Error: file open [" + lms + "].");

    const char* singular[] = {"1 2 3 2 4 6 0 0 1", "0 0 0 0 1 0 0 0 1", "1 0 0 0 1 0 1 1e-14 0",
                              "1e20 1e20 0 1 1 0 0 0 1"};
    for (const char* m : singular) {
        dir.write("LMStoATD_mat.txt", m);
        EXPECT_EQ(failure_text([&] { load_xyz_to_atd(dir.folder()); }),
                  "Error: matrix [" + lms + "] is singular and cannot be inverted.")
            << m;
    }
    dir.write("LMStoATD_mat.txt", "1e31 0 0 0 1 0 0 0 1");
    EXPECT_EQ(failure_text([&] { load_xyz_to_atd(dir.folder()); }),
              "Error: matrix [" + lms + "] holds a value too large to be used.");
    // Badly scaled but regular matrices pass.
    dir.write("LMStoATD_mat.txt", "1e-8 0 0 0 1e8 0 0 0 1");
    EXPECT_NO_THROW(load_xyz_to_atd(dir.folder()));
}

}  // namespace
}  // namespace orv
