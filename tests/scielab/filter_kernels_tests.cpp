#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "numeric/dft.h"
#include "numeric/failure.h"
#include "scielab/filter_kernels.h"
#include "tests/scielab/scielab_fixture.h"

namespace orv {
namespace {

using scielab_test::filter_from_text;
using scielab_test::ScratchFolder;

std::string failure_text(const auto& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return orv::failure_text(failure);
    }
    return "(no failure)";
}

TEST(FilterKernels, WorkedExampleOfOneComponent) {
    std::ostringstream trace;
    const ChannelFilter f = filter_from_text("T x 1 s 0.05 w 1", trace);
    EXPECT_EQ(f.variances[0], 25.0);
    EXPECT_EQ(f.half_width, 7);
    EXPECT_EQ(f.length, 15);
    ASSERT_EQ(f.kernel.size(), 15u);
    EXPECT_NEAR(f.kernel[7], 0.112838, 5e-7);
    EXPECT_EQ(f.kernel[7], 1.0 / std::sqrt(25.0 * 3.14159265359));
    for (int j = 1; j <= 7; ++j) {
        EXPECT_EQ(f.kernel[static_cast<std::size_t>(7 + j)],
                  f.kernel[static_cast<std::size_t>(7 - j)]);
        EXPECT_EQ(f.kernel[static_cast<std::size_t>(7 + j)],
                  std::exp(-(j * j) * (1.0 / 25.0)) * (1.0 / std::sqrt(25.0 * 3.14159265359)));
    }
}

TEST(FilterKernels, KernelIsTheWeightedSumOfItsComponents) {
    std::ostringstream trace;
    const ChannelFilter f = filter_from_text("T x 2 s 0.05 0.1 w 2 -0.5", trace);
    const std::vector<double> g0 = sample_gaussian(25.0, f.half_width);
    const std::vector<double> g1 = sample_gaussian(100.0, f.half_width);
    for (std::size_t j = 0; j < f.kernel.size(); ++j) {
        EXPECT_EQ(f.kernel[j], 0.0 + 2 * g0[j] + -0.5 * g1[j]);
    }
}

TEST(FilterKernels, TraceFormat) {
    std::ostringstream trace;
    filter_from_text(
        "Luminance x 3 spread 0.05 0.225 7.0 weight 1.00327 0.114416 -0.117686 extra 5 6", trace);
    EXPECT_EQ(trace.str(),
              "Luminance\tNum=3\n"
              "spread\t0.050000\t0.225000\t7.000000\t\n"
              "Weight\t1.003270\t0.114416\t-0.117686\t\n"
              "Vari\t25.000000\t506.250000\t490000.000000\t\n"
              "Adjust\t0.010000\n"
              "Max spread = 490000.000000\n"
              "FilterSize = 1165\n");
}

TEST(FilterKernels, SizingTakesTheLargestVarianceWhereverItIs) {
    struct Case {
        const char* text;
        int half_width;
    };
    const Case cases[] = {
        {"t x 3 s 0.05 0.225 1.0 w 1 1 1", 166},
        {"t x 3 s 1.0 0.225 0.05 w 1 1 1", 166},
        {"t x 2 s 0.0685 -0.826 w 1 1", 137},  // a negative spread squares to the same variance
        {"t x 1 s 0.004 w 1", 0},
        {"t x 1 s 0.001 w 1", 0},  // narrower than a sample: still the centre tap
        {"t x 1 s 4 w 1", 665},
        {"t x 4 s 0.05 0.1 0.2 0.3 w 1 1 1 1 ignored", 49},
    };
    for (const Case& c : cases) {
        std::ostringstream trace;
        const ChannelFilter f = filter_from_text(c.text, trace);
        EXPECT_EQ(f.half_width, c.half_width) << c.text;
        EXPECT_EQ(f.length, 2 * c.half_width + 1) << c.text;
        EXPECT_EQ(f.kernel.size(), static_cast<std::size_t>(2 * c.half_width + 1)) << c.text;
    }
}

TEST(FilterKernels, CountAndValuesUseLeadingNumberConversion) {
    std::ostringstream trace;
    const ChannelFilter f = filter_from_text("t x 2.9abc s 5d-2 0.1xyz w 1,5 abc", trace);
    EXPECT_EQ(f.count, 2);
    EXPECT_EQ(f.spreads[0], 0.05);
    EXPECT_EQ(f.spreads[1], 0.1);
    EXPECT_EQ(f.weights[0], 1.0);
    EXPECT_EQ(f.weights[1], 0.0);
}

TEST(FilterKernels, RefusedFiles) {
    struct Case {
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {"t x 0 s w", "component count of 0; at least 1"},
        {"t x -2 s w", "component count of -2"},
        {"t x abc s w", "component count of 0"},
        {"t x 1000000000 s 1 w 1", "component count of 1000000000; at most 1000"},
        {"t x 99999999999999999999 s 1 w 1", "at most 1000"},
        {"t x 2 s 0.05 0 w 1 1", "spread 0"},
        {"t x 1 s abc w 1", "spread 0"},
        {"t x 1 s 1e300 w 1", "not a finite number"},
        {"t x 1 s 1e999 w 1", "not a finite number"},
        {"t x 1 s 0.1 w 1e999", "not a finite number"},
        {"t x 1 s 1e6 w 1", "too wide"},
        {"t x 1 s 61 w 1", "too wide"},
        {"t x 3 s 0.05 0.1 0.2 w 1 1", "incomplete"},
        {"t x 3 s 0.05", "incomplete"},
        {"t", "incomplete"},
        {"", "incomplete"},
        {"t x 1 s " + std::string(108, '1') + " w 1", "longer than 107"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        std::ostringstream trace;
        const std::string text = failure_text(
            [&] { parse_kernel_file(in, "kernel_X.txt", kernel_sample_angle, trace); });
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.text << " -> " << text;
        EXPECT_NE(text.find("kernel_X.txt"), std::string::npos) << text;
    }
    // 107 characters is still a token.
    std::istringstream in("t x 1 s 0.05" + std::string(103, '0') + " w 1");
    std::ostringstream trace;
    EXPECT_NO_THROW(parse_kernel_file(in, "k", kernel_sample_angle, trace));
}

TEST(FilterKernels, MissingFileTextNamesThePath) {
    ScratchFolder dir;
    const std::string path = dir.file("kernel_RG.txt");
    std::ostringstream trace;
    EXPECT_EQ(failure_text([&] { read_kernel_file(path, kernel_sample_angle, trace); }),
              "Error: file open [" + path + "].");
    dir.write("kernel_RG.txt", scielab_test::kernel_rg_text);
    const ChannelFilter f = load_channel_filter(path, kernel_sample_angle, trace);
    EXPECT_EQ(f.count, 2);
    EXPECT_EQ(f.half_width, 137);
}

TEST(FilterKernels, SizingRefusesEditedParametersThatCannotMakeAKernel) {
    std::ostringstream trace;
    ChannelFilter f = filter_from_text("t x 2 s 0.05 0.1 w 1 1", trace);
    ChannelFilter zero = f;
    zero.spreads[1] = 0.0;
    recompute_variances(zero, kernel_sample_angle);
    EXPECT_THROW(size_filter(zero, trace), Failure);
    ChannelFilter wide = f;
    wide.spreads[0] = 1e9;
    recompute_variances(wide, kernel_sample_angle);
    EXPECT_THROW(size_filter(wide, trace), Failure);
    ChannelFilter empty;
    EXPECT_THROW(size_filter(empty, trace), Failure);
}

TEST(FilterKernels, ResizeCentresTheKernelInZeros) {
    std::ostringstream trace;
    ChannelFilter f = filter_from_text("t x 1 s 0.05 w 1", trace);
    const std::vector<double> old = f.kernel;
    resize_kernel(f, 12);
    EXPECT_EQ(f.half_width, 12);
    EXPECT_EQ(f.length, 25);
    ASSERT_EQ(f.kernel.size(), 25u);
    for (int j = -12; j <= 12; ++j) {
        const double expected = std::abs(j) <= 7 ? old[static_cast<std::size_t>(7 + j)] : 0.0;
        EXPECT_EQ(f.kernel[static_cast<std::size_t>(12 + j)], expected) << j;
    }
    EXPECT_THROW(resize_kernel(f, 3), Failure);
}

void expect_finished(const AtdFilters& set, int half_width) {
    EXPECT_TRUE(filter_set_finished(set));
    for (const ChannelFilter* f : {&set.a, &set.t, &set.d}) {
        EXPECT_EQ(f->half_width, half_width);
        EXPECT_EQ(f->length, 2 * half_width + 1);
        ASSERT_EQ(f->response.size(), static_cast<std::size_t>(2 * half_width + 1));
        EXPECT_EQ(f->response[static_cast<std::size_t>(half_width)], 1.0);
        for (double v : f->response) {
            EXPECT_GE(v, 0.0);
            EXPECT_LE(v, 1.0);
        }
        for (int k = 1; k <= half_width; ++k) {
            EXPECT_NEAR(f->response[static_cast<std::size_t>(half_width + k)],
                        f->response[static_cast<std::size_t>(half_width - k)], 1e-10);
        }
    }
}

TEST(FinishFilterSet, InvariantsAndCommonLength) {
    AtdFilters set = scielab_test::finished_filters();
    expect_finished(set, 166);
    // T and D keep their taps, centred in A's length.
    std::ostringstream trace;
    const ChannelFilter t = filter_from_text(scielab_test::kernel_rg_text, trace);
    for (int j = -137; j <= 137; ++j) {
        EXPECT_EQ(set.t.kernel[static_cast<std::size_t>(166 + j)],
                  t.kernel[static_cast<std::size_t>(137 + j)]);
    }
    EXPECT_EQ(set.t.kernel[0], 0.0);
    EXPECT_EQ(set.t.kernel[332], 0.0);
}

TEST(FinishFilterSet, WiderTOrDWidensTheWholeSet) {
    std::ostringstream trace;
    AtdFilters set;
    set.a = filter_from_text("a x 1 s 0.5 w 1", trace);             // h 82
    set.t = filter_from_text(scielab_test::kernel_rg_text, trace);  // h 137
    set.d = filter_from_text("d x 1 s 0.05 w 1", trace);            // h 7
    const std::vector<double> a_taps = set.a.kernel;
    finish_filter_set(set);
    expect_finished(set, 137);
    for (int j = -82; j <= 82; ++j) {
        EXPECT_EQ(set.a.kernel[static_cast<std::size_t>(137 + j)],
                  a_taps[static_cast<std::size_t>(82 + j)]);
    }
}

TEST(FinishFilterSet, ResponseMatchesTheDirectTransformOfTheKernel) {
    std::ostringstream trace;
    AtdFilters set;
    set.a = filter_from_text("a x 1 s 0.1 w 1", trace);
    set.t = filter_from_text("t x 1 s 0.05 w 1", trace);
    set.d = set.t;
    finish_filter_set(set);
    const int n = set.a.length;
    const int h = set.a.half_width;
    std::vector<double> magnitude(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            re += set.t.kernel[static_cast<std::size_t>(j)] * std::cos(2 * M_PI * j * k / n);
            im -= set.t.kernel[static_cast<std::size_t>(j)] * std::sin(2 * M_PI * j * k / n);
        }
        magnitude[static_cast<std::size_t>(k)] = std::hypot(re, im);
    }
    for (int k = 0; k <= h; ++k) {
        // Element h + k holds bin k, normalised by the largest (bin 0 for a Gaussian).
        EXPECT_NEAR(set.t.response[static_cast<std::size_t>(h + k)],
                    magnitude[static_cast<std::size_t>(k)] / magnitude[0], 1e-9)
            << k;
    }
    EXPECT_LT(set.t.response[static_cast<std::size_t>(2 * h)],
              set.a.response[static_cast<std::size_t>(h + 1)]);
}

// The response comes from a fast transform standing in for the direct one; for the widest
// filters a profile holds (over a thousand taps) the two agree within 1e-12 of the peak.
TEST(ComputeResponse, AgreesWithTheDirectTransformOfLongKernels) {
    std::ostringstream trace;
    int longest = 0;
    for (const char* text : {scielab_test::kernel_l_text, "Wide Num 1 Spread 4.0 Weight 1\n",
                             "Mixed Num 2 Spread 0.05 4.0 Weight 0.9 0.1\n"}) {
        ChannelFilter f = filter_from_text(text, trace);
        const int n = f.length;
        std::vector<double> re = f.kernel, im(static_cast<std::size_t>(n), 0.0);
        dft_1d(re.data(), im.data(), 1, n);
        std::vector<double> direct(static_cast<std::size_t>(n));
        spectrum_magnitude(re.data(), im.data(), n, direct.data());
        shift_centre_1d(direct.data(), n);
        const std::vector<double>& fast = compute_response(f);
        double peak = 0.0;
        for (double v : direct) peak = std::max(peak, v);
        ASSERT_EQ(fast.size(), direct.size());
        for (std::size_t k = 0; k < direct.size(); ++k)
            EXPECT_NEAR(fast[k], direct[k], 1e-12 * peak) << text << " " << k;
        longest = std::max(longest, n);
    }
    EXPECT_GT(longest, 1300);
}

TEST(FinishFilterSet, NegativeLobesPeakAwayFromZeroFrequency) {
    std::ostringstream trace;
    AtdFilters set;
    // A difference of Gaussians: zero frequency is nearly cancelled.
    set.a = filter_from_text("a x 2 s 0.05 0.2 w 1 -0.9", trace);
    set.t = filter_from_text("t x 1 s 0.05 w 1", trace);
    set.d = set.t;
    finish_filter_set(set);
    expect_finished(set, set.a.half_width);
    double largest = 0;
    for (double v : set.a.response) largest = std::max(largest, v);
    EXPECT_EQ(largest, 1.0);
    int ones = 0;
    for (double v : set.a.response) ones += v == 1.0;
    EXPECT_GE(ones, 2);  // the peak and zero frequency
}

TEST(FinishFilterSet, RefusesEmptyOrSilentFilters) {
    AtdFilters empty;
    EXPECT_THROW(finish_filter_set(empty), Failure);
    EXPECT_FALSE(filter_set_finished(empty));
    std::ostringstream trace;
    AtdFilters silent;
    silent.a = filter_from_text("a x 1 s 0.05 w 0", trace);
    silent.t = silent.a;
    silent.d = silent.a;
    EXPECT_THROW(finish_filter_set(silent), Failure);

    AtdFilters sized;
    sized.a = filter_from_text("a x 1 s 0.05 w 1", trace);
    sized.t = sized.a;
    sized.d = sized.a;
    EXPECT_FALSE(filter_set_finished(sized));  // no responses yet
    finish_filter_set(sized);
    EXPECT_TRUE(filter_set_finished(sized));
    sized.d.response[3] = 2.0;
    EXPECT_FALSE(filter_set_finished(sized));
}

}  // namespace
}  // namespace orv
