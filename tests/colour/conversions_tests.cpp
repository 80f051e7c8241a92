#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <quadmath.h>

#include "colour/conversions.h"
#include "numeric/failure.h"

namespace orv {
namespace {

constexpr Matrix3 identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

GogParameters uniform_model(double gain, double offset, double gamma) {
    return {{gain, offset, gamma}, {gain, offset, gamma}, {gain, offset, gamma}};
}

TEST(XyzToLab, WhiteBlackAndTheLinearBranch) {
    const double white[3] = {display_white[0], display_white[1], display_white[2]};
    double lab[3];
    xyz_to_lab(white, white, lab);
    EXPECT_EQ(lab[0], 100.0);
    EXPECT_EQ(lab[1], 0.0);
    EXPECT_EQ(lab[2], 0.0);

    const double black[3] = {0, 0, 0};
    xyz_to_lab(black, white, lab);
    EXPECT_NEAR(lab[0], 0.0, 1e-12);
    EXPECT_EQ(lab[1], 0.0);
    EXPECT_EQ(lab[2], 0.0);

    // t exactly at the threshold (and below 0) takes 7.787 t + 16/116, not the cube root.
    const double unit[3] = {1, 1, 1};
    for (double t : {0.008856, -0.5, 0.0}) {
        const double xyz[3] = {t, t, t};
        xyz_to_lab(xyz, unit, lab);
        EXPECT_EQ(lab[0], 116.0 * (7.787 * t + 0.13793103448275862) - 16.0) << t;
    }
    const double at[3] = {0.008856, 0.008856, 0.008856};
    xyz_to_lab(at, unit, lab);
    EXPECT_NE(lab[0], 116.0 * std::pow(0.008856, 0.3333333333333333) - 16.0);
    const double above[3] = {0.0088561, 0.0088561, 0.0088561};
    xyz_to_lab(above, unit, lab);
    EXPECT_EQ(lab[0], 116.0 * std::pow(0.0088561, 0.3333333333333333) - 16.0);

    // a* and b* follow X - Y and Y - Z.
    const double xyz[3] = {0.5, 0.2, 0.1};
    xyz_to_lab(xyz, unit, lab);
    const double f = std::pow(0.2, 0.3333333333333333);
    EXPECT_EQ(lab[1], 500.0 * (std::pow(0.5, 0.3333333333333333) - f));
    EXPECT_EQ(lab[2], 200.0 * (f - std::pow(0.1, 0.3333333333333333)));
}

struct E94Case {
    double reference[3];
    double sample[3];
    double forward;  // delta_e94(reference, sample)
    double swapped;  // delta_e94(sample, reference)
    double tolerance;
};

TEST(DeltaE94, WorkedValuesAndAsymmetry) {
    const E94Case cases[] = {
        // Hand-worked cases of the formula.
        {{50, 10, 0}, {50, 0, 0}, 6.8965517241379315, 10.0, 1e-15},
        {{50, 0, 10}, {50, 10, 0}, 12.297509238026915, 12.297509238026915, 1e-14},
        {{50, 20, -5}, {50, 20, -5}, 0.0, 0.0, 0.0},
        {{30, 0, 0}, {72.5, 0, 0}, 42.5, 42.5, 0.0},
        // colour-science documentation of its CIE 1994 difference (graphic-arts weights);
        // the swapped value reproduced with scikit-image 0.19.3 deltaE_ciede94.
        {{100, 21.57210357, 272.22819350},
         {100, 426.67945353, 72.39590835},
         83.7792255,
         56.9383947,
         1e-6},
        // Sharma, Wu and Dalal (2005), CIEDE2000 test pairs 1-3, their CIE94 differences from
        // scikit-image 0.19.3.
        {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 1.3950389, 1.3652852, 1e-6},
        {{50, 3.1571, -77.2803}, {50, 0, -82.7485}, 1.9341006, 1.8526922, 1e-6},
        {{50, 2.8361, -74.0200}, {50, 0, -82.7485}, 2.4543357, 2.2719002, 1e-6},
        // Luo and Rigg, pair 1 (CIELAB computed from its XYZ), CIE94 from scikit-image.
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.3909947, 1.3576187, 1e-6},
    };
    for (const E94Case& c : cases) {
        EXPECT_NEAR(delta_e94(c.reference, c.sample), c.forward, c.tolerance)
            << c.reference[0] << " " << c.reference[1] << " " << c.reference[2];
        EXPECT_NEAR(delta_e94(c.sample, c.reference), c.swapped, c.tolerance)
            << c.reference[0] << " " << c.reference[1] << " " << c.reference[2];
    }
}

TEST(DeltaE94, NeutralReferenceEqualsCie76) {
    const double neutral[3] = {40, 0, 0};
    const double samples[][3] = {{40, 3, 4}, {45, -10, 2}, {10, 60, -70}, {40, 0, 0}, {99, 0, 1}};
    for (const auto& s : samples) {
        const double cie76 = std::sqrt((40 - s[0]) * (40 - s[0]) + s[1] * s[1] + s[2] * s[2]);
        EXPECT_NEAR(delta_e94(neutral, s), cie76, 1e-12 * (1 + cie76));
    }
}

TEST(DeltaE94, RoundingBelowZeroInTheHueTermCountsAsZero) {
    // Same hue angle: a^2 + b^2 - dC^2 comes out at -1.8e-15 in doubles.
    const double reference[3] = {50, 1, 3};
    const double sample[3] = {50, 0.3, 0.9};
    const double value = delta_e94(reference, sample);
    ASSERT_TRUE(std::isfinite(value));
    const double c_ref = std::sqrt(10.0);
    const double dc = c_ref - std::sqrt(0.3 * 0.3 + 0.9 * 0.9);
    EXPECT_DOUBLE_EQ(value, dc / (1 + 0.045 * c_ref));
}

InterleavedImage lab_image(int w, int h, double l, double a, double b) {
    InterleavedImage image;
    image.width = w;
    image.height = h;
    image.channels = 3;
    for (int i = 0; i < w * h; ++i) {
        image.data.push_back(l + i);
        image.data.push_back(a);
        image.data.push_back(b - i);
    }
    return image;
}

TEST(ColourDifferenceImage, StatisticsAndStartingValues) {
    const InterleavedImage ref = lab_image(3, 2, 50, 10, 0);
    InterleavedImage same = colour_difference_image(ref, ref);
    EXPECT_EQ(same.channels, 1);
    ASSERT_EQ(same.data.size(), 6u);
    for (double v : same.data) EXPECT_EQ(v, 0.0);
    EXPECT_EQ(same.mean, 0.0);
    EXPECT_EQ(same.max, 0.0);
    EXPECT_EQ(same.min, 0.0);

    InterleavedImage neutral = lab_image(3, 2, 0, 0, 0);
    InterleavedImage far = lab_image(3, 2, 20000, 0, 0);
    for (std::size_t i = 2; i < far.data.size(); i += 3) far.data[i] = neutral.data[i];
    const InterleavedImage big = colour_difference_image(neutral, far);
    EXPECT_EQ(big.data[0], 20000.0);
    EXPECT_EQ(big.max, 20000.0);
    // The extremes start from the first value: a map whose values all exceed 10000 keeps its
    // own minimum (a fixed start of 10000 reported 10000, a value no pixel has).
    EXPECT_EQ(big.min, 20000.0);
    EXPECT_EQ(big.mean, 20000.0);

    const InterleavedImage sample = lab_image(3, 2, 52, 10, 0);
    const InterleavedImage diff = colour_difference_image(ref, sample);
    double sum = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(diff.data[i], delta_e94(&ref.data[3 * i], &sample.data[3 * i]));
        sum += diff.data[i];
    }
    EXPECT_EQ(diff.mean, sum / 6);
}

TEST(ColourDifferenceImage, RefusesImagesOfDifferentSizes) {
    const InterleavedImage a = lab_image(3, 2, 50, 0, 0);
    const InterleavedImage b = lab_image(2, 3, 50, 0, 0);
    EXPECT_THROW(colour_difference_image(a, b), Failure);
    InterleavedImage short_data = a;
    short_data.data.pop_back();
    EXPECT_THROW(colour_difference_image(a, short_data), Failure);
}

PixelBuffer ramp_buffer(int w, int h) {
    PixelBuffer p = make_pixel_buffer(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < 3 * w; ++x) {
            p.bytes[static_cast<std::size_t>(y * p.stride + x)] =
                static_cast<std::uint8_t>((7 * y + 3 * x + 11) % 256);
        }
    }
    return p;
}

TEST(DisplayToPlanes, ByteScaleIsAMultiplication) {
    PixelBuffer p = make_pixel_buffer(256, 1);
    for (int x = 0; x < 256; ++x) {
        for (int c = 0; c < 3; ++c)
            p.bytes[static_cast<std::size_t>(3 * x + c)] = static_cast<std::uint8_t>(x);
    }
    const PlanarImage image = display_to_planes(p, uniform_model(1, 0, 1), identity);
    int differs_from_division = 0;
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(image.planes[0][static_cast<std::size_t>(x)], x * 0.00392156862745098);
        if (image.planes[0][static_cast<std::size_t>(x)] != x / 255.0) ++differs_from_division;
    }
    EXPECT_EQ(differs_from_division, 24);
    EXPECT_EQ(image.planes[2][255], 1.0);
}

TEST(DisplayToPlanes, WhiteGivesOneAndDarkPixelsNeverNaN) {
    PixelBuffer p = make_pixel_buffer(2, 1);
    for (int c = 0; c < 3; ++c) p.bytes[static_cast<std::size_t>(c)] = 255;
    const Matrix3 m = {0.4, 0.3, 0.2, 0.2, 0.7, 0.1, 0.0, 0.1, 0.9};
    const PlanarImage image = display_to_planes(p, uniform_model(1.1, -0.1, 2.2), m);
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(image.planes[k][0], m[3 * k] + m[3 * k + 1] + m[3 * k + 2]);
        // The black pixel has a negative base (offset -0.1): clamped, it gives no light.
        EXPECT_EQ(image.planes[k][1], 0.0);
    }
}

TEST(DisplayToPlanes, ChannelOrderIsBlueGreenRedInAndRedGreenBlueOut) {
    PixelBuffer p = make_pixel_buffer(1, 1);
    p.bytes = {51, 102, 255, 0};  // blue, green, red, filler
    const GogParameters gog = {{1, 0, 1}, {1, 0, 2}, {1, 0, 3}};
    const PlanarImage image = display_to_planes(p, gog, identity);
    EXPECT_EQ(image.planes[0][0], 1.0);
    EXPECT_EQ(image.planes[1][0], std::pow(102 * 0.00392156862745098, 2.0));
    EXPECT_EQ(image.planes[2][0], std::pow(51 * 0.00392156862745098, 3.0));
}

// Every pixel of rows of any width (the four-pixel body and the pixels after it) and of
// padded rows is the matrix row times the channels' display values, summed red, green, blue
// in that order, bit for bit, in its own place of each plane.
TEST(DisplayToPlanes, EveryWidthGivesEachPixelsOwnSumsInPlace) {
    const GogParameters gog = {{1.05, -0.02, 2.2}, {0.98, 0.01, 2.4}, {1.0, 0.0, 1.8}};
    const Matrix3 m = {0.41, 0.36, 0.18, 0.21, 0.72, 0.07, 0.02, 0.12, 0.95};
    const DisplayTable table = make_display_table(gog);
    std::mt19937 random(7);
    for (const int w : {1, 3, 4, 5, 7, 8, 9, 13}) {
        SCOPED_TRACE(w);
        const int h = 3;
        PixelBuffer p = make_pixel_buffer(w, h);
        for (std::uint8_t& byte : p.bytes) byte = static_cast<std::uint8_t>(random());
        std::vector<double> planes(3 * static_cast<std::size_t>(w) * h, -1.0);
        display_to_planes_into(p, table, m, planes.data(), planes.data() + w * h,
                               planes.data() + 2 * w * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* px = p.bytes.data() + static_cast<std::size_t>(y) * p.stride +
                                         3 * static_cast<std::size_t>(x);
                const double r = table[0][px[2]], g = table[1][px[1]], b = table[2][px[0]];
                for (int k = 0; k < 3; ++k) {
                    const double want = m[3 * k] * r + m[3 * k + 1] * g + m[3 * k + 2] * b;
                    EXPECT_EQ(planes[static_cast<std::size_t>(k * w * h + y * w + x)], want)
                        << "plane " << k << " at " << x << ", " << y;
                }
            }
        }
    }
}

TEST(PlanesToDisplay, ClippingAndTruncation) {
    struct Case {
        double u;
        std::uint8_t byte;
    };
    const Case cases[] = {{1.0, 255}, {2.0, 255}, {254.9 / 255.0, 254}, {0.5, 127},
                          {0.0, 0},   {-0.3, 0},  {1e-300, 0},          {NAN, 0}};
    PixelBuffer out = make_pixel_buffer(static_cast<int>(std::size(cases)), 1);
    PlanarImage image;
    image.width = out.width;
    image.height = 1;
    for (auto& plane : image.planes) {
        for (const Case& c : cases) plane.push_back(c.u);
    }
    planes_to_display(out, image, uniform_model(1, 0, 1), identity);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(out.bytes[3 * i + static_cast<std::size_t>(c)], cases[i].byte) << cases[i].u;
        }
    }
    // Negative values with a non-integer exponent have no real power: 0, never NaN bytes.
    PixelBuffer gamma_out = make_pixel_buffer(static_cast<int>(std::size(cases)), 1);
    planes_to_display(gamma_out, image, uniform_model(1, 0, 2.2), identity);
    EXPECT_EQ(gamma_out.bytes[3 * 5], 0);
    EXPECT_EQ(gamma_out.bytes[0], 255);
}

TEST(PlanesToDisplay, RoundTripHonoursTheStrideOfOddWidths) {
    for (int w : {1, 2, 3, 5, 7}) {
        const int h = 3;
        const PixelBuffer source = ramp_buffer(w, h);
        const PlanarImage image = display_to_planes(source, uniform_model(1, 0, 1), identity);
        PixelBuffer out = make_pixel_buffer(w, h);
        for (auto& b : out.bytes) b = 0xAA;  // so untouched filler bytes show
        planes_to_display(out, image, uniform_model(1, 0, 1), identity);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < out.stride; ++x) {
                const auto i = static_cast<std::size_t>(y * out.stride + x);
                if (x < 3 * w) {
                    // d / 255 * 255 can land just below d and truncate to d - 1.
                    EXPECT_LE(source.bytes[i] - out.bytes[i], 1) << w << " " << x << " " << y;
                    EXPECT_GE(source.bytes[i] - out.bytes[i], 0) << w << " " << x << " " << y;
                } else {
                    EXPECT_EQ(out.bytes[i], 0xAA) << "filler byte written, width " << w;
                }
            }
        }
    }
}

TEST(PlanesToDisplay, RefusesBuffersOfAnotherGeometry) {
    const PixelBuffer source = ramp_buffer(4, 3);
    const PlanarImage image = display_to_planes(source, uniform_model(1, 0, 1), identity);
    PixelBuffer wrong = make_pixel_buffer(3, 4);
    EXPECT_THROW(planes_to_display(wrong, image, uniform_model(1, 0, 1), identity), Failure);
    PixelBuffer truncated = make_pixel_buffer(4, 3);
    truncated.bytes.resize(truncated.bytes.size() - 1);
    EXPECT_THROW(planes_to_display(truncated, image, uniform_model(1, 0, 1), identity), Failure);
    PixelBuffer narrow_stride = make_pixel_buffer(4, 3);
    narrow_stride.stride = 8;
    EXPECT_THROW(display_to_planes(narrow_stride, uniform_model(1, 0, 1), identity), Failure);
}

// Every public conversion taking a PlanarImage refuses planes that do not hold its
// width x height values, rather than reading past them.
TEST(PlanarImageSizes, ConversionsRefusePlanesOfTheWrongSize) {
    const PlanarImage good = display_to_planes(ramp_buffer(4, 3), uniform_model(1, 0, 1), identity);
    struct Case {
        const char* name;
        int plane;          // plane to shorten, or -1
        int width, height;  // the image's stated sides
    };
    const Case cases[] = {
        {"short red plane", 0, 4, 3},
        {"short blue plane", 2, 4, 3},
        {"wider than its planes", -1, 5, 3},
        {"taller than its planes", -1, 4, 4},
        {"zero width", -1, 0, 3},
    };
    for (const Case& c : cases) {
        PlanarImage image = good;
        if (c.plane >= 0) image.planes[static_cast<std::size_t>(c.plane)].pop_back();
        image.width = c.width;
        image.height = c.height;
        PixelBuffer out = make_pixel_buffer(c.width > 0 ? c.width : 1, c.height);
        EXPECT_THROW(planes_to_display(out, image, uniform_model(1, 0, 1), identity), Failure)
            << c.name;
        EXPECT_THROW(atd_to_lab_image(image, Matrix3{}), Failure) << c.name;
    }
}

// A side beyond the supported maximum is refused with that reason, whatever the bytes.
TEST(CheckPixelBuffer, OversizedSideNamesTheLimit) {
    for (const auto& [w, h] : {std::pair{40000, 1}, std::pair{1, 32769}}) {
        const PixelBuffer wide = make_pixel_buffer(w, h);
        try {
            check_pixel_buffer(wide, "reference");
            ADD_FAILURE() << w << " x " << h << " accepted";
        } catch (const Failure& f) {
            EXPECT_NE(orv::failure_text(f).find("wider or taller than 32768 pixels"),
                      std::string::npos)
                << orv::failure_text(f);
            EXPECT_EQ(orv::failure_text(f).find("whole frame"), std::string::npos)
                << orv::failure_text(f);
        }
    }
    EXPECT_NO_THROW(check_pixel_buffer(make_pixel_buffer(32768, 1), "reference"));
}

// CIELAB's power t^0.3333333333333333 without pow: the correctly rounded value (taken from a
// quadruple-precision power) over the range colour values take and far beyond, and never
// more than one ulp from the C library's pow (which itself misses the nearest double for
// about one value in a thousand).
TEST(LabPower, IsTheCorrectlyRoundedPower) {
    struct Range {
        double low, high;
    };
    const Range ranges[] = {{0.008856, 0.01}, {0.01, 1.0}, {1.0, 2.0}, {2.0, 1e6}, {1e6, 9.9e29}};
    std::mt19937_64 rng(7);
    int misrounded = 0;
    int samples = 0;
    for (const Range& r : ranges) {
        std::uniform_real_distribution<double> exponent(std::log(r.low), std::log(r.high));
        for (int i = 0; i < 100000; ++i, ++samples) {
            const double t = std::exp(exponent(rng));
            const double got = lab_power_in_range(t);
            const double exact = static_cast<double>(
                powq(static_cast<__float128>(t), static_cast<__float128>(0.3333333333333333)));
            misrounded += got != exact;
            const double libm = std::pow(t, 0.3333333333333333);
            ASSERT_LE(std::abs(got - libm), std::nextafter(libm, 1e300) - libm) << t;
        }
    }
    EXPECT_LE(misrounded, samples / 50000) << "of " << samples;
    for (double t : {0.008856000000000001, 0.125, 1.0, 8.0, 27.0, 1e-2, 0.5}) {
        EXPECT_EQ(lab_power_in_range(t), std::pow(t, 0.3333333333333333)) << t;
    }
}

// The vectorised block form gives lab_f's doubles, on both sides of the threshold, below 0,
// and for values beyond the fast range (a block holding one takes the plain path).
TEST(LabPower, BlockFormEqualsLabF) {
    std::vector<double> values;
    for (int i = 0; i < 301; ++i) values.push_back(-0.01 + i * 0.00731);
    values.insert(values.end(), {0.008856, 0.0088561, 1.0, 3e29, 2.5});
    for (bool with_huge : {false, true}) {
        std::vector<double> block = values;
        if (with_huge) block.push_back(1e300);
        std::vector<double> expected;
        for (double t : block) expected.push_back(lab_f(t));
        lab_f_values(block.data(), block.size());
        EXPECT_EQ(block, expected) << with_huge;
    }
}

// The block form runs on the widest vector unit the processor has; over the colour range, the
// whole fast range and arbitrary bit patterns it gives lab_f's doubles bit for bit, in blocks
// of every length up to 97 (so that every vector tail is taken).
TEST(LabPower, BlockFormEqualsLabFOverRandomValues) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> colour(-0.2, 2.0);
    std::uniform_real_distribution<double> threshold(0.0088, 0.02);
    std::uniform_real_distribution<double> exponent(std::log(1e-30), std::log(9.99e29));
    const std::function<double()> draws[] = {
        [&] { return colour(rng); },
        [&] { return threshold(rng); },
        [&] { return std::exp(exponent(rng)); },
        [&] { return std::bit_cast<double>(rng()); },
    };
    for (const auto& draw : draws) {
        std::vector<double> values(100000);
        for (double& v : values) v = draw();
        std::vector<double> got = values;
        for (std::size_t at = 0, length = 1; at < got.size();
             at += length, length = length % 97 + 1) {
            lab_f_values(got.data() + at, std::min(length, got.size() - at));
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double want = lab_f(values[i]);
            ASSERT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want))
                << values[i];
        }
    }
}

// One row of opponent values to CIELAB gives atd_pixel_to_lab's doubles bit for bit, for
// colour values, zeros of either sign, values at the edges of the division-free range and
// beyond it, infinities, NaNs and arbitrary bit patterns; one value outside that range sends
// its whole block through the division.
TEST(AtdRowToLab, EqualsThePixelFormulaBitForBit) {
    const Matrix3 q = {0.9, 0.35, 0.1, 1.0, -0.2, 0.05, 1.05, 0.02, -0.9};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> colour(-20.0, 120.0);
    const double inf = std::numeric_limits<double>::infinity();
    const std::function<double()> draws[] = {
        [&] { return colour(rng); },
        [&] { return rng() % 4 == 0 ? (rng() % 2 == 0 ? 0.0 : -0.0) : colour(rng); },
        [&] { return colour(rng) * std::ldexp(1.0, static_cast<int>(rng() % 1900) - 950); },
        [&] { return std::bit_cast<double>(rng()); },
        [&] { return rng() % 500 == 0 ? (rng() % 2 == 0 ? inf : std::nan("")) : colour(rng); },
    };
    for (const auto& draw : draws) {
        for (int width : {1, 63, 200, 1920}) {
            std::vector<double> a(static_cast<std::size_t>(width)), t(a), d(a);
            for (int i = 0; i < width; ++i) {
                a[static_cast<std::size_t>(i)] = draw();
                t[static_cast<std::size_t>(i)] = draw();
                d[static_cast<std::size_t>(i)] = draw();
            }
            std::vector<double> lab(3 * a.size());
            atd_row_to_lab(q, width, a.data(), t.data(), d.data(), lab.data());
            for (std::size_t i = 0; i < a.size(); ++i) {
                double want[3];
                atd_pixel_to_lab(q, a[i], t[i], d[i], want);
                for (std::size_t c = 0; c < 3; ++c) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(lab[3 * i + c]),
                              std::bit_cast<std::uint64_t>(want[c]))
                        << a[i] << " " << t[i] << " " << d[i] << " channel " << c;
                }
            }
        }
    }
}

// The row conversion divides by the display white through its rounded reciprocal and two
// remainder steps; that gives the division's double for every quotient when
// 2 W |e| (1/2 + 2^-50) < 1, with W the integer significand of the white component and
// 1 + e = w * (rounded 1 / w). The product is exact in quadruple precision.
TEST(AtdRowToLab, WhiteMeetsTheExactQuotientCondition) {
    for (const double w : display_white) {
        const double y = 1.0 / w;
        const __float128 e = static_cast<__float128>(y) * static_cast<__float128>(w) - 1;
        int exponent = 0;
        const double significand = std::frexp(w, &exponent);
        const __float128 integer_significand = static_cast<__float128>(std::ldexp(significand, 53));
        const __float128 bound = 2 * integer_significand * (e < 0 ? -e : e) *
                                 (static_cast<__float128>(0.5) + static_cast<__float128>(0x1p-50));
        EXPECT_LT(static_cast<double>(bound), 1.0) << w;
    }
}

TEST(InvertMatrix3, GivesTheInverse) {
    const Matrix3 m = {0.4, 0.3, 0.2, 0.2, 0.7, 0.1, 0.0, 0.1, 0.9};
    const Matrix3 inv = invert_matrix3(m);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += m[3 * r + k] * inv[3 * k + c];
            EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-12);
        }
    }
}

}  // namespace
}  // namespace orv

namespace orv {
namespace {

// The image conversion looks bytes up by value range; every byte must equal the one the
// formula gives, also right at the edges where the truncation changes its result (inside a
// bin, where the table holds the edge itself), four pixels at a time and one at a time.
TEST(PlanesToDisplay, LookUpGivesTheBytesOfTheFormula) {
    const GogChannel models[] = {{1, 0, 2.2},
                                 {0.98, 0.02, 2.4},
                                 {1.05, -0.05, 1.8},
                                 {1, 0, 1},
                                 {2, -1, 0.5},
                                 {0.5, 0.3, 3},
                                 {-1, 1, 2.2},
                                 {1e-3, 0, 2.2},
                                 {1, -2, 2.2},
                                 // Found by fuzzing: full white maps to a subnormal value,
                                 // whose table scale overflowed to infinity (0 * inf = NaN).
                                 {1, -0.02, 36666},
                                 {1, -0.02, 3.3e12}};
    for (const GogChannel& ch : models) {
        std::vector<double> values;
        for (int i = -500; i <= 65000; ++i) values.push_back(i * 2e-5);
        for (int b = 0; b <= 256; ++b) {
            const double base = b / 255.0 * ch.gain + ch.offset;
            if (base <= 0) continue;
            double edge = std::pow(base, ch.gamma);
            for (int step = 0; step < 4; ++step) edge = std::nextafter(edge, -1.0);
            for (int step = 0; step < 8; ++step) {
                values.push_back(edge);
                edge = std::nextafter(edge, 2.0);
            }
        }
        values.push_back(NAN);
        values.push_back(1e308);
        // The ends of the negative entry (finite values only; the identity matrix's products
        // turn infinities into NaN, so those are left to the test of the groups below) and the
        // signed zero.
        for (const double v : {-1e308, -std::numeric_limits<double>::max(), -0.0, -5e-324}) {
            values.push_back(v);
        }
        while (values.size() % 3072 != 0) values.push_back(0.5);
        // Rows of 1024 go four pixels at a time, rows of 3 one at a time.
        for (const int width : {1024, 3}) {
            PixelBuffer out = make_pixel_buffer(width, static_cast<int>(values.size()) / width);
            PlanarImage image;
            image.width = out.width;
            image.height = out.height;
            for (auto& plane : image.planes) plane = values;
            const GogParameters gog = {ch, ch, ch};
            planes_to_display(out, image, gog, identity);
            int mismatches = 0;
            for (std::size_t i = 0; i < values.size(); ++i) {
                const std::uint8_t expected = inverse_display_byte(values[i], ch, 1.0 / ch.gamma);
                const std::size_t at = i / static_cast<std::size_t>(width) * out.stride +
                                       3 * (i % static_cast<std::size_t>(width));
                for (std::size_t c = 0; c < 3; ++c) mismatches += out.bytes[at + c] != expected;
            }
            EXPECT_EQ(mismatches, 0)
                << ch.gain << " " << ch.offset << " " << ch.gamma << " width " << width;
        }
    }
}

// Groups of four pixels the tables cannot answer are done by the formula after the rest of
// their row: an infinite channel value (the formula's 255) in the first, inner, consecutive
// and last groups and in the tail must each come out, and no other pixel may move.
TEST(PlanesToDisplay, GroupsLeftToTheFormulaKeepTheirPlaces) {
    const GogParameters gog = {{1, 0, 2.2}, {1, 0, 2.2}, {1, 0, 2.2}};
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int width;
        std::vector<int> infinite;  // pixels whose channel `x % 3` is infinite
    };
    const Case cases[] = {
        {16, {0}}, {16, {13, 15}}, {18, {4, 8, 9, 17}}, {23, {0, 5, 6, 7, 11, 20, 22}}, {4, {3}}};
    for (const Case& c : cases) {
        PlanarImage image;
        image.width = c.width;
        image.height = 2;
        for (auto& plane : image.planes) {
            plane.resize(static_cast<std::size_t>(c.width) * 2);
            for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = 0.05 + 0.011 * i;
        }
        for (int x : c.infinite) image.planes[static_cast<std::size_t>(x % 3)][c.width + x] = inf;
        PixelBuffer out = make_pixel_buffer(c.width, 2);
        planes_to_display(out, image, gog, identity);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const auto i = static_cast<std::size_t>(y * c.width + x);
                for (int ch = 0; ch < 3; ++ch) {
                    // The matrix's sum in its plain order (0 times infinity is NaN: byte 0).
                    double u = 0.0;
                    for (int k = 0; k < 3; ++k) {
                        const double term = identity[static_cast<std::size_t>(3 * ch + k)] *
                                            image.planes[static_cast<std::size_t>(k)][i];
                        u = k == 0 ? term : u + term;
                    }
                    const std::uint8_t want = inverse_display_byte(u, gog.red, 1.0 / 2.2);
                    const std::size_t at =
                        static_cast<std::size_t>(y) * out.stride + 3 * x + 2 - ch;
                    ASSERT_EQ(out.bytes[at], want)
                        << "width " << c.width << " y " << y << " x " << x << " c " << ch;
                }
            }
        }
    }
}

// Through a full matrix, with rows of every tail length: each byte is the formula's for the
// matrix product taken in its plain order (the four-pixel path must neither reorder the sums nor
// shift a pixel), for values inside the tables, beyond them and below zero.
TEST(PlanesToDisplay, MatrixRowsOfEveryLengthGiveTheFormulasBytes) {
    const GogParameters gog = {{1.02, -0.02, 2.2}, {0.97, 0.01, 2.4}, {1.0, 0.0, 1.9}};
    const Matrix3 m = {0.9, 0.35, -0.12, 0.2, 1.1, 0.05, -0.3, 0.15, 1.4};
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> value(-0.1, 1.2);
    for (int width : {1, 3, 4, 7, 9, 1000}) {
        PlanarImage image;
        image.width = width;
        image.height = 3;
        for (auto& plane : image.planes) {
            plane.resize(static_cast<std::size_t>(width) * 3);
            for (double& v : plane) v = value(rng);
        }
        PixelBuffer out = make_pixel_buffer(width, 3);
        planes_to_display(out, image, gog, m);
        const GogChannel* ch[3] = {&gog.red, &gog.green, &gog.blue};
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                const double p0 = image.planes[0][i], p1 = image.planes[1][i],
                             p2 = image.planes[2][i];
                for (int c = 0; c < 3; ++c) {
                    const double u = m[3 * c] * p0 + m[3 * c + 1] * p1 + m[3 * c + 2] * p2;
                    const std::uint8_t want = inverse_display_byte(u, *ch[c], 1.0 / ch[c]->gamma);
                    const std::size_t at = static_cast<std::size_t>(y) * out.stride + 3 * x + 2 - c;
                    ASSERT_EQ(out.bytes[at], want) << "width " << width << " x " << x << " c " << c;
                }
            }
        }
    }
}

}  // namespace
}  // namespace orv
