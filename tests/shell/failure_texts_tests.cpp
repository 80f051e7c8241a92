#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "shell/failure_texts.h"
#include "tests/support/pipeline_calls.h"

namespace orv {
namespace {

Failure failure_of(const std::function<void()>& step) {
    try {
        step();
    } catch (const Failure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return Failure{};
}

void display_model(const std::string& values) {
    std::istringstream in("h h h h h h h h h " + values);
    parse_display_model(in, "/p/DISPGOG_parameter.txt");
}

void kernel(const std::string& text) {
    std::istringstream in(text);
    std::ostringstream trace;
    parse_kernel_file(in, "/p/kernel_L.txt", kernel_sample_angle, trace);
}

// Every refusal the libraries raise on the GUI's paths, made by the libraries themselves, has
// a Japanese text that keeps the file named and carries no English words.
TEST(FailureTexts, LibraryRefusalsAreShownInJapanese) {
    struct Case {
        const char* what;
        std::function<void()> step;
        const char* named;  // what the Japanese text must still name
    };
    const Case cases[] = {
        {"gain 0", [] { display_model("0 0 2.2 1 0 2.2 1 0 2.2"); }, "/p/DISPGOG_parameter.txt"},
        {"gamma 0", [] { display_model("1 0 2.2 1 0 0 1 0 2.2"); }, "の緑のガンマ"},
        {"gamma tiny", [] { display_model("1 0 2.2 1 0 2.2 1 0 1e-320"); }, "の青のガンマ"},
        {"overflow", [] { display_model("1e20 0 2 1 0 2.2 1 0 2.2"); }, "の赤チャンネル"},
        {"out of range", [] { display_model("1e999 0 2.2 1 0 2.2 1 0 2.2"); }, "\"1e999\""},
        {"incomplete", [] { display_model("1 0 2.2"); }, "9個のうち3個"},
        {"long token", [] { display_model(std::string(120, '1')); }, "99文字"},
        {"singular",
         [] {
             check_matrix_invertible({1, 2, 3, 2, 4, 6, 0, 0, 1}, "/p/RGBtoXYZ_mat.txt");
         },
         "/p/RGBtoXYZ_mat.txt"},
        {"huge element",
         [] {
             check_matrix_invertible({1e31, 0, 0, 0, 1, 0, 0, 0, 1}, "/p/m.txt");
         },
         "/p/m.txt"},
        {"composed singular",
         [] {
             check_matrix_invertible({0, 0, 0, 0, 1, 0, 0, 0, 1}, "/p", "RGB");
         },
         "[/p] の行列から作ったRGB→ATD行列"},
        {"kernel count 0", [] { kernel("L n 0 s w"); }, "/p/kernel_L.txt"},
        {"kernel count huge", [] { kernel("L n 1000000000 s w"); }, "1000までしか"},
        {"kernel cut", [] { kernel("L n 2 s 0.05 0.1 w 1"); }, "/p/kernel_L.txt"},
        {"spread 0", [] { kernel("L n 1 s 0 w 1"); },
         "カーネルファイル [/p/kernel_L.txt] に標準偏差"},
        {"too wide", [] { kernel("L n 1 s 1e6 w 1"); }, "20001"},
        {"edited spread 0",
         [] {
             ChannelFilter f;
             f.count = 1;
             f.spreads = {0.0};
             f.variances = {0.0};
             f.weights = {1.0};
             std::ostringstream trace;
             size_filter(f, trace);
         },
         "編集したフィルターに標準偏差"},
        {"filters not loaded",
         [] {
             AtdFilters none;
             finish_filter_set(none);
         },
         "フィルター"},
        {"sizes differ",
         [] {
             PixelBuffer output;
             InterleavedImage result;
             AtdFilters filters;
             test_calls::make_difference_image(make_pixel_buffer(4, 2), make_pixel_buffer(2, 4),
                                               output, kernel_sample_angle, filters, "/p", result);
         },
         "ATDフィルター"},
    };
    const std::regex english_word("[a-z]{3,}");
    for (const Case& c : cases) {
        const Failure failure = failure_of(c.step);
        EXPECT_FALSE(gui_failure_template(failure.kind).empty()) << c.what;
        std::string text = gui_failure_text(failure);
        EXPECT_NE(text.find(c.named), std::string::npos) << c.what << ": " << text;
        // Without the paths, no English is left.
        text = std::regex_replace(text, std::regex(R"(\[[^\]]*\])"), "");
        EXPECT_FALSE(std::regex_search(text, english_word)) << c.what << ": " << text;
    }
    EXPECT_EQ(gui_failure_text(Failure{FailureKind::profile_cannot_open, "/p/x.txt", {}, {}}),
              "Error: file open [/p/x.txt].");
}

// The placeholders of a text template: "{p}", "{0}", ..., "{f}".
std::set<std::string> placeholders(const std::string& text) {
    std::set<std::string> found;
    const std::regex placeholder(R"(\{[pf0-9]\})");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
         it != std::sregex_iterator(); ++it) {
        found.insert(it->str());
    }
    return found;
}

// Every kind has an English text and a Japanese one, and the Japanese text carries every
// path and value of the English one, or leaves the path to the message box's caption. The
// exceptions drop only an English word naming the buffer ("source", "destination").
TEST(FailureTexts, EveryKindHasBothTextsWithTheSameValues) {
    const std::set<std::pair<FailureKind, std::string>> dropped = {
        {FailureKind::frame_too_large, "{0}"},      {FailureKind::pixel_buffer_incomplete, "{0}"},
        {FailureKind::planes_incomplete, "{0}"},    {FailureKind::output_buffer_mismatch, "{0}"},
        {FailureKind::profile_folder_wrong, "{p}"},  // its caption is "FILE OPEN ERROR"
    };
    std::set<std::string> names;
    for (const FailureKind kind : all_failure_kinds()) {
        const std::string name = failure_kind_name(kind);
        EXPECT_TRUE(names.insert(name).second) << name;
        const std::string english = failure_english_template(kind);
        const std::string japanese = gui_failure_template(kind);
        ASSERT_FALSE(english.empty()) << name;
        ASSERT_FALSE(japanese.empty()) << name << " has no Japanese text";
        const std::set<std::string> in_japanese = placeholders(japanese);
        for (const std::string& p : placeholders(english)) {
            if (in_japanese.count(p) != 0 || dropped.count({kind, p}) != 0) continue;
            if (p == "{p}" && gui_failure_path_in_caption(kind)) continue;
            ADD_FAILURE() << name << ": the Japanese text drops " << p;
        }
        for (const std::string& p : in_japanese) {
            EXPECT_EQ(placeholders(english).count(p), 1u) << name << ": " << p;
        }
        // Filled with distinct values, the English text shows each of them once filled in.
        const Failure failure{kind, "/d/p.x", {"#v0#", "#v1#", "#v2#", "#v3#", "#v4#"}, "why"};
        const std::string text = failure_text(failure);
        EXPECT_EQ(text.find('{'), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 5), ": why") << text;
        for (int i = 0; i < 5; ++i) {
            const std::string value = "#v" + std::to_string(i) + "#";
            const bool used = english.find("{" + std::to_string(i) + "}") != std::string::npos;
            EXPECT_EQ(text.find(value) != std::string::npos, used) << name << ": " << text;
        }
        const std::string line = gui_failure_line(failure);
        EXPECT_EQ(line.find('{'), std::string::npos) << line;
        if (gui_failure_path_in_caption(kind)) {
            EXPECT_NE(line.find("/d/p.x"), std::string::npos) << name << ": " << line;
        }
        // The GUI leaves out the system's English reason.
        EXPECT_EQ(line.find("why"), std::string::npos) << name << ": " << line;
    }
}

// The English line: today's wording, the system's reason after ": ".
TEST(FailureTexts, EnglishLinesEndWithTheSystemsReason) {
    struct Case {
        Failure failure;
        const char* english;
    };
    const Case cases[] = {
        {{FailureKind::cannot_write, "/x/t.csv", {}, "No such file or directory"},
         "cannot write /x/t.csv: No such file or directory"},
        {{FailureKind::cannot_write, "/x/t.csv", {}, {}}, "cannot write /x/t.csv"},
        {{FailureKind::output_exists, "a.csv", {}, {}},
         "a.csv already exists; orv-cli never overwrites a file"},
        {{FailureKind::filter_zero_spread, "", {}, {}},
         "Error: the filter being sized has a component of spread 0."},
        {{FailureKind::filter_zero_spread, "/k.txt", {}, {}},
         "Error: kernel file [/k.txt] has a component of spread 0."},
        {{FailureKind::media_cannot_open, "v.mp4", {}, "Permission denied"},
         "v.mp4: cannot open: Permission denied"},
        {{FailureKind::svd_no_convergence, "", {"50"}, {}},
         "no convergence in 50 dsvdcmp iterations"},
    };
    for (const Case& c : cases) EXPECT_EQ(failure_text(c.failure), c.english);
}

// Texts the GUI showed before failures were data stay as they were.
TEST(FailureTexts, JapaneseTextsOfTheFileDialogsStay) {
    struct Case {
        Failure failure;
        const char* japanese;
    };
    const Case cases[] = {
        {{FailureKind::cannot_open, "a.bmp", {}, "No such file or directory"},
         "ファイルが開けません"},
        {{FailureKind::cannot_write, "a.bmp", {}, "No space left on device"},
         "ファイルの書き込みに失敗しました: a.bmp"},
        {{FailureKind::cannot_create, "a.bmp", {}, "Permission denied"},
         "ファイルを作成できません: a.bmp"},
        {{FailureKind::media_corrupt, "v.mp4", {}, "Invalid data"},
         "動画ファイルが途中で切れているか壊れています"},
        {{FailureKind::no_encoder_inputs, "", {}, {}}, "入力画像を選んで下さい"},
        {{FailureKind::value_not_a_number, "", {"abc"}, {}}, "値「abc」は数値ではありません"},
        {{FailureKind::profile_folder_wrong, "/p", {}, {}},
         "PROFILE DATA フォルダアドレスが間違ってます!! \n"},
    };
    for (const Case& c : cases) EXPECT_EQ(gui_failure_text(c.failure), c.japanese);
}

}  // namespace
}  // namespace orv
