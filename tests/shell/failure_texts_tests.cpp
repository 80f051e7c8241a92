#include <functional>
#include <gtest/gtest.h>
#include <regex>
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

std::string failure_of(const std::function<void()>& step) {
    try {
        step();
    } catch (const Failure& failure) {
        return failure.message;
    }
    return "(no failure)";
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
             check_matrix_invertible({0, 0, 0, 0, 1, 0, 0, 0, 1}, "RGB to ATD of /p");
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
        const std::string message = failure_of(c.step);
        EXPECT_TRUE(has_gui_failure_text(message)) << c.what << ": " << message;
        std::string text = gui_failure_text(message);
        EXPECT_NE(text.find(c.named), std::string::npos) << c.what << ": " << text;
        // Without the paths, no English is left.
        text = std::regex_replace(text, std::regex(R"(\[[^\]]*\])"), "");
        EXPECT_FALSE(std::regex_search(text, english_word)) << c.what << ": " << text;
    }
    EXPECT_EQ(gui_failure_text("Error: file open [/p/x.txt]."), "Error: file open [/p/x.txt].");
    EXPECT_EQ(gui_failure_text("something new"), "処理を続けられません\nsomething new");
}

}  // namespace
}  // namespace orv
