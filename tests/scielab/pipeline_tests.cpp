#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/arrays.h"
#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/fft.h"
#include "numeric/parallel.h"
#include "numeric/svd.h"
#include "scielab/pipeline.h"
#include "scielab/viewing.h"
#include "tests/scielab/scielab_fixture.h"
#include "tests/support/pipeline_calls.h"

namespace orv {
namespace {

using scielab_test::pattern_frame;
using scielab_test::ScratchFolder;

// The S-CIELAB steps written out one by one, every value computed where it is used: separate
// transforms per plane, the spectrum centred and un-centred, powers per pixel. The pipeline's
// faster arrangement is held against it.
struct Reference {
    GogParameters gog;
    Matrix3 m{};
    Matrix3 m_inverse{};
    Matrix3 atd_to_xyz{};
    // The pixel's visual angle in degrees: the fixed geometry's unless a test sets another.
    double theta =
        std::atan(14.0 / std::sqrt(1920.0 * 1920.0 + 1080.0 * 1080.0) * 0.04) * 57.29577951307855;

    explicit Reference(const std::string& folder) {
        gog = read_display_model(profile_path(folder, "DISPGOG_parameter.txt"));
        m = load_rgb_to_atd(folder);
        pseudo_inverse_flat(m.data(), m_inverse.data(), 3, 3);
        const Matrix3 q = load_xyz_to_atd(folder);
        pseudo_inverse_flat(q.data(), atd_to_xyz.data(), 3, 3);
    }

    PlanarImage planes(const PixelBuffer& p) const {
        PlanarImage image;
        image.width = p.width;
        image.height = p.height;
        for (auto& plane : image.planes) plane.resize(static_cast<std::size_t>(p.width * p.height));
        const GogChannel* ch[3] = {&gog.red, &gog.green, &gog.blue};
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                double rgb[3];
                for (int c = 0; c < 3; ++c) {
                    const int byte =
                        p.bytes[static_cast<std::size_t>(y * p.stride + 3 * x + 2 - c)];
                    const double base =
                        std::max(0.0, ch[c]->gain * (byte * 0.00392156862745098) + ch[c]->offset);
                    rgb[c] = std::pow(base, ch[c]->gamma);
                }
                for (int k = 0; k < 3; ++k) {
                    image.planes[k][static_cast<std::size_t>(y * p.width + x)] =
                        m[3 * k] * rgb[0] + m[3 * k + 1] * rgb[1] + m[3 * k + 2] * rgb[2];
                }
            }
        }
        return image;
    }

    void filter(PlanarImage& image, const AtdFilters& f) const {
        const int w = image.width;
        const int h = image.height;
        std::array<std::vector<double>, 3> im;
        for (auto& plane : im) plane.assign(static_cast<std::size_t>(w * h), 0.0);
        for (int c = 0; c < 3; ++c) fft_2d(image.planes[c].data(), im[c].data(), 1, w, h);
        for (int c = 0; c < 3; ++c) shift_quadrants_2d(image.planes[c].data(), w, h);
        for (int c = 0; c < 3; ++c) shift_quadrants_2d(im[c].data(), w, h);
        const ChannelFilter* filters[3] = {&f.a, &f.t, &f.d};
        for (int v = -(h / 2); v <= (h + 1) / 2 - 1; ++v) {
            for (int u = -(w / 2); u <= (w + 1) / 2 - 1; ++u) {
                const double fy = v / (h * theta);
                const double fx = u / (w * theta);
                const double r = std::sqrt(fx * fx + fy * fy);
                const auto k = round_to_int(r * f.a.length * kernel_sample_angle * 0.5);
                const auto i = static_cast<std::size_t>((v + h / 2) * w + u + w / 2);
                for (int c = 0; c < 3; ++c) {
                    const double weight =
                        filters[c]->response[static_cast<std::size_t>(f.a.half_width + k)];
                    image.planes[c][i] *= weight;
                    im[c][i] *= weight;
                }
            }
        }
        for (int c = 0; c < 3; ++c) unshift_quadrants_2d(image.planes[c].data(), w, h);
        for (int c = 0; c < 3; ++c) unshift_quadrants_2d(im[c].data(), w, h);
        for (int c = 0; c < 3; ++c) fft_2d(image.planes[c].data(), im[c].data(), -1, w, h);
    }

    PixelBuffer filtered_frame(const PixelBuffer& p, const AtdFilters& f) const {
        PlanarImage image = planes(p);
        filter(image, f);
        PixelBuffer out = make_pixel_buffer(p.width, p.height);
        const GogChannel* ch[3] = {&gog.red, &gog.green, &gog.blue};
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const auto i = static_cast<std::size_t>(y * p.width + x);
                for (int c = 0; c < 3; ++c) {
                    const double u = m_inverse[3 * c] * image.planes[0][i] +
                                     m_inverse[3 * c + 1] * image.planes[1][i] +
                                     m_inverse[3 * c + 2] * image.planes[2][i];
                    const double s =
                        (std::pow(u, 1.0 / ch[c]->gamma) - ch[c]->offset) / ch[c]->gain * 255.0;
                    const int byte = s >= 255.0 ? 255 : (s > 0.0 ? static_cast<int>(s) : 0);
                    out.bytes[static_cast<std::size_t>(y * out.stride + 3 * x + 2 - c)] =
                        static_cast<std::uint8_t>(byte);
                }
            }
        }
        return out;
    }

    std::vector<double> lab(const PixelBuffer& p, const AtdFilters& f) const {
        PlanarImage image = planes(p);
        filter(image, f);
        std::vector<double> lab(static_cast<std::size_t>(3 * p.width * p.height));
        const double white[3] = {display_white[0], display_white[1], display_white[2]};
        for (std::size_t i = 0; i < lab.size() / 3; ++i) {
            double xyz[3];
            for (int k = 0; k < 3; ++k) {
                xyz[k] = atd_to_xyz[3 * k] * image.planes[0][i] +
                         atd_to_xyz[3 * k + 1] * image.planes[1][i] +
                         atd_to_xyz[3 * k + 2] * image.planes[2][i];
            }
            double f[3];
            for (int k = 0; k < 3; ++k) {
                const double r = xyz[k] / white[k];
                f[k] = r > 0.008856 ? std::pow(r, 0.3333333333333333)
                                    : 7.787 * r + 0.13793103448275862;
            }
            lab[3 * i] = 116.0 * f[1] - 16.0;
            lab[3 * i + 1] = 500.0 * (f[0] - f[1]);
            lab[3 * i + 2] = 200.0 * (f[1] - f[2]);
        }
        return lab;
    }

    std::vector<double> difference(const PixelBuffer& r, const PixelBuffer& d,
                                   const AtdFilters& f) const {
        const std::vector<double> lr = lab(r, f);
        const std::vector<double> ld = lab(d, f);
        std::vector<double> map(lr.size() / 3);
        for (std::size_t i = 0; i < map.size(); ++i) map[i] = delta_e94(&lr[3 * i], &ld[3 * i]);
        return map;
    }
};

// Counts image bytes that differ, failing on any difference larger than one.
int differing_bytes(const PixelBuffer& x, const PixelBuffer& y) {
    int count = 0;
    for (int row = 0; row < x.height; ++row) {
        for (int col = 0; col < 3 * x.width; ++col) {
            const auto i = static_cast<std::size_t>(row * x.stride + col);
            const int diff = std::abs(x.bytes[i] - y.bytes[i]);
            EXPECT_LE(diff, 1) << "row " << row << " byte " << col;
            count += diff != 0;
        }
    }
    return count;
}

PixelBuffer degrade(const PixelBuffer& p, int amount) {
    PixelBuffer d = p;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < 3 * p.width; ++x) {
            auto& b = d.bytes[static_cast<std::size_t>(y * p.stride + x)];
            b = static_cast<std::uint8_t>(
                std::clamp(b + ((x * 7 + y * 13) % 5 - 2) * amount, 0, 255));
        }
    }
    return d;
}

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override { scielab_test::write_profile(dir); }
    ScratchFolder dir;
    AtdFilters filters = scielab_test::finished_filters();
};

TEST(ViewingGeometry, PixelAngleAndFrequencyBins) {
    EXPECT_NEAR(pixel_angle_degrees(), 0.0145651, 5e-8);
    EXPECT_NEAR(1.0 / pixel_angle_degrees(), 68.657, 5e-4);
    EXPECT_NEAR(-960 / (1920 * pixel_angle_degrees()), -34.3286, 5e-5);
    struct Case {
        int u, v, w, h, n, bin;
    };
    const Case cases[] = {
        {-960, 0, 1920, 1080, 1331, 228},     // fx = -34.3286 cycles per degree
        {-960, -540, 1920, 1080, 1331, 323},  // the corner, r = 48.548
        {1, 0, 1920, 1080, 1331, 0},          // the lowest frequency shares zero frequency's weight
        {0, 0, 1920, 1080, 1331, 0},
        {-8, -6, 16, 12, 1331, 323},  // only the fraction of the frame's size matters
        {-960, -540, 1920, 1080, 333, 81},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frequency_bin(c.u, c.v, c.w, c.h, c.n, kernel_sample_angle), c.bin)
            << c.u << "," << c.v << " of " << c.w << "x" << c.h;
        EXPECT_LE(c.bin, (c.n - 1) / 2);
    }
}

TEST_F(Pipeline, UniformFramesSurviveTheFilter) {
    const std::uint8_t colours[][3] = {
        {0, 0, 0}, {255, 255, 255}, {10, 200, 90}, {128, 128, 128}, {255, 0, 30}};
    for (const auto& colour : colours) {
        PixelBuffer frame = make_pixel_buffer(12, 9);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 12; ++x) {
                for (int c = 0; c < 3; ++c)
                    frame.bytes[static_cast<std::size_t>(y * frame.stride + 3 * x + c)] = colour[c];
            }
        }
        PixelBuffer out;
        test_calls::scielab_filter_frame(frame, out, filters.a, filters.t, filters.d,
                                         kernel_sample_angle, dir.folder());
        ASSERT_EQ(out.width, 12);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 36; ++x) {
                const auto i = static_cast<std::size_t>(y * out.stride + x);
                EXPECT_LE(frame.bytes[i] - out.bytes[i], 1) << int(colour[0]) << " byte " << x;
                EXPECT_GE(frame.bytes[i] - out.bytes[i], 0) << int(colour[0]) << " byte " << x;
            }
        }
    }
}

TEST_F(Pipeline, IdenticalFramesGiveAZeroMapAndABlackPicture) {
    const PixelBuffer frame = pattern_frame(20, 14, 3);
    PixelBuffer grey;
    InterleavedImage result;
    ASSERT_EQ(test_calls::make_difference_image(frame, frame, grey, kernel_sample_angle, filters,
                                                dir.folder(), result),
              1);
    ASSERT_EQ(result.data.size(), 280u);
    EXPECT_EQ(result.channels, 1);
    for (double v : result.data) EXPECT_EQ(v, 0.0);
    EXPECT_EQ(result.mean, 0.0);
    EXPECT_EQ(result.max, 0.0);
    EXPECT_EQ(result.min, 0.0);
    for (std::uint8_t b : grey.bytes) EXPECT_EQ(b, 0);
}

TEST_F(Pipeline, MatchesTheStepByStepComputationForEvenOddAndPaddedSizes) {
    const Reference reference(dir.folder());
    const int sizes[][2] = {{16, 12}, {15, 9}, {7, 5}, {5, 4}, {18, 1}, {9, 10}, {6, 2}, {1, 8}};
    for (const auto& size : sizes) {
        const PixelBuffer frame = pattern_frame(size[0], size[1], 7);
        const PixelBuffer degraded = degrade(frame, 3);
        SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));

        PixelBuffer out = make_pixel_buffer(size[0], size[1]);
        for (int y = 0; y < out.height; ++y) {
            for (int x = 3 * out.width; x < out.stride; ++x)
                out.bytes[static_cast<std::size_t>(y * out.stride + x)] = 0xAA;
        }
        test_calls::scielab_filter_frame(frame, out, filters.a, filters.t, filters.d,
                                         kernel_sample_angle, dir.folder());
        const PixelBuffer expected = reference.filtered_frame(frame, filters);
        EXPECT_LE(differing_bytes(out, expected), 1);
        for (int y = 0; y < out.height; ++y) {
            for (int x = 3 * out.width; x < out.stride; ++x) {
                EXPECT_EQ(out.bytes[static_cast<std::size_t>(y * out.stride + x)], 0xAA)
                    << "filler written";
            }
        }

        const std::vector<double> lab_expected = reference.lab(frame, filters);
        const InterleavedImage lab = test_calls::scielab_lab_image(
            frame, filters.a, filters.t, filters.d, kernel_sample_angle, dir.folder());
        ASSERT_EQ(lab.data.size(), lab_expected.size());
        for (std::size_t i = 0; i < lab.data.size(); ++i) {
            EXPECT_NEAR(lab.data[i], lab_expected[i], 1e-9 * (1 + std::abs(lab_expected[i])));
        }

        PixelBuffer grey;
        InterleavedImage result;
        ASSERT_EQ(test_calls::make_difference_image(frame, degraded, grey, kernel_sample_angle,
                                                    filters, dir.folder(), result),
                  1);
        const std::vector<double> map = reference.difference(frame, degraded, filters);
        ASSERT_EQ(result.data.size(), map.size());
        for (std::size_t i = 0; i < map.size(); ++i) {
            EXPECT_NEAR(result.data[i], map[i], 1e-9 * (1 + map[i]));
        }
        EXPECT_EQ(grey.stride, out.stride);
    }
}

// The viewer as an input: the map at a pixel angle the user gives equals the step-by-step
// computation with that angle, the angle worked out here from its own figures.
TEST_F(Pipeline, DifferenceMapAtAGivenViewingMatchesTheStepByStepComputation) {
    const double degrees = 180.0 / 3.14159265358979323846;
    ViewingOptions at_40;
    at_40.ppd = 40.0;
    ViewingOptions monitor;  // 59.8 cm wide, 3840 pixels, seen from 60 cm
    monitor.display_width_cm = 59.8;
    monitor.display_width_pixels = 3840.0;
    monitor.distance_cm = 60.0;
    ViewingOptions television;  // 3 picture heights of 2160 lines
    television.distance_heights = 3.0;
    television.display_height_pixels = 2160.0;
    const struct {
        ViewingOptions options;
        double theta;
        const char* source;
    } cases[] = {
        {at_40, 1.0 / 40.0, "ppd"},
        {monitor, std::atan(59.8 / 3840.0 / 60.0) * degrees, "display"},
        {television, std::atan(1.0 / 6480.0) * degrees, "heights"},
    };
    const PixelBuffer frame = pattern_frame(24, 18, 5);
    const PixelBuffer degraded = degrade(frame, 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        MeasurementConditions conditions =
            test_calls::conditions(filters, kernel_sample_angle, dir.folder());
        conditions.viewing =
            viewing_geometry(c.options, OptionStyle::command_line, filters, kernel_sample_angle);
        EXPECT_EQ(conditions.viewing.source, c.source);
        EXPECT_NEAR(conditions.viewing.pixel_angle_degrees, c.theta, 1e-15 * c.theta);
        const InterleavedImage map = difference_map(frame, degraded, conditions, nullptr);

        Reference reference(dir.folder());
        reference.theta = c.theta;
        const std::vector<double> expected = reference.difference(frame, degraded, filters);
        Reference fixed(dir.folder());
        const std::vector<double> at_default = fixed.difference(frame, degraded, filters);
        ASSERT_EQ(map.data.size(), expected.size());
        double moved = 0.0;  // the angle must matter, or the test would prove nothing
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(map.data[i], expected[i], 1e-9 * std::abs(expected[i]) + 1e-300) << i;
            moved = std::max(moved, std::abs(expected[i] - at_default[i]));
        }
        EXPECT_GT(moved, 1e-6);
    }
}

constexpr const char* golden_stats = "0.094907 0.511449 0.004430";
constexpr long golden_grey_sum = 233265;
constexpr long golden_filtered_sum = 82513383;

// filter_atd_planes runs the pipeline's own filtering (two real planes per transform, D by
// halves when the height is even, else through a real-input transform in batches of row
// pairs, several batches for the taller sizes); it must agree with the centred weighting to
// rounding.
TEST_F(Pipeline, PlaneFilterMatchesTheCentredWeighting) {
    const Reference reference(dir.folder());
    for (const auto& size : {std::pair{16, 12}, std::pair{15, 9}, std::pair{7, 4}, std::pair{9, 1},
                             std::pair{1, 7}, std::pair{6, 67}, std::pair{5, 131}}) {
        const PixelBuffer frame = pattern_frame(size.first, size.second, 5);
        PlanarImage expected = reference.planes(frame);
        PlanarImage image = expected;
        reference.filter(expected, filters);
        filter_atd_planes(image, filters.a, filters.t, filters.d, kernel_sample_angle);
        for (int c = 0; c < 3; ++c) {
            double largest = 0.0;
            for (double v : expected.planes[c]) largest = std::max(largest, std::abs(v));
            ASSERT_EQ(image.planes[c].size(), expected.planes[c].size());
            for (std::size_t i = 0; i < image.planes[c].size(); ++i) {
                EXPECT_NEAR(image.planes[c][i], expected.planes[c][i], 1e-13 * largest)
                    << c << " " << i;
            }
        }
    }
    PlanarImage short_plane = reference.planes(pattern_frame(6, 4, 1));
    short_plane.planes[2].pop_back();
    EXPECT_THROW(
        filter_atd_planes(short_plane, filters.a, filters.t, filters.d, kernel_sample_angle),
        Failure);
}

TEST_F(Pipeline, FilteredBytesOfALargerFrameRarelyMoveAtATruncationEdge) {
    const Reference reference(dir.folder());
    const PixelBuffer frame = pattern_frame(120, 90, 9);
    PixelBuffer out;
    test_calls::scielab_filter_frame(frame, out, filters.a, filters.t, filters.d,
                                     kernel_sample_angle, dir.folder());
    const int moved = differing_bytes(out, reference.filtered_frame(frame, filters));
    RecordProperty("moved_bytes", moved);
    EXPECT_LE(moved, 3) << "of " << 3 * 120 * 90 << " bytes";
}

// Values recorded from the step-by-step computation; the figures are those an export shows
// (six decimals), so any change of the pipeline's arithmetic that moves them is caught.
TEST_F(Pipeline, RecordedValuesOfAFramePair) {
    const PixelBuffer frame = pattern_frame(48, 36, 11);
    const PixelBuffer degraded = degrade(frame, 4);
    PixelBuffer grey;
    InterleavedImage result;
    ASSERT_EQ(test_calls::make_difference_image(frame, degraded, grey, kernel_sample_angle, filters,
                                                dir.folder(), result),
              1);
    char text[128];
    std::snprintf(text, sizeof text, "%.6f %.6f %.6f", result.mean, result.max, result.min);
    EXPECT_STREQ(text, golden_stats);
    long grey_sum = 0;
    for (std::uint8_t b : grey.bytes) grey_sum += b;
    EXPECT_NEAR(grey_sum, golden_grey_sum, 6);  // a value on a truncation edge may move a byte

    PixelBuffer out;
    test_calls::scielab_filter_frame(frame, out, filters.a, filters.t, filters.d,
                                     kernel_sample_angle, dir.folder());
    long weighted = 0;
    for (std::size_t i = 0; i < out.bytes.size(); ++i)
        weighted += static_cast<long>(out.bytes[i]) * static_cast<long>(i % 251 + 1);
    EXPECT_NEAR(static_cast<double>(weighted), static_cast<double>(golden_filtered_sum), 251.0 * 2);
}

// The halves of one pair's work run side by side when cores are spare, and the pair's
// filtered planes stay in memory or are parked in a temporary file (block reads of a row
// count that does not divide the height included); every value is the same as on one core
// in memory, for odd and even sides, and identical frames still differ by exactly 0.
TEST_F(Pipeline, OnePairGivesTheSameBytesOnOneCoreAndOnSeveral) {
    constexpr std::size_t never = static_cast<std::size_t>(-1);
    const struct {
        int cores;
        std::size_t park_pixels;
        std::size_t serial_pixels;
    } runs[] = {{1, never, never}, {4, never, never}, {1, 0, never}, {4, 0, 0}, {4, never, 0}};
    for (const auto& [w, h] : {std::pair{33, 20}, std::pair{31, 17}, std::pair{20000, 14}}) {
        const PixelBuffer frame = pattern_frame(w, h, 4);
        const PixelBuffer degraded = degrade(frame, 5);
        InterleavedImage results[std::size(runs)];
        PixelBuffer greys[std::size(runs)], filtered[std::size(runs)];
        for (std::size_t run = 0; run < std::size(runs); ++run) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " run " +
                         std::to_string(run));
            set_core_budget(runs[run].cores);
            PairStorage storage;
            storage.park_pixels = runs[run].park_pixels;
            storage.serial_pixels = runs[run].serial_pixels;
            ASSERT_EQ(test_calls::make_difference_image(
                          frame, degraded, greys[run], kernel_sample_angle, filters, dir.folder(),
                          results[run], DeltaEFormula::cie94, storage),
                      1);
            test_calls::scielab_filter_frame(frame, filtered[run], filters.a, filters.t, filters.d,
                                             kernel_sample_angle, dir.folder());
            EXPECT_EQ(results[run].data, results[0].data);
            EXPECT_EQ(results[run].mean, results[0].mean);
            EXPECT_EQ(results[run].max, results[0].max);
            EXPECT_EQ(greys[run].bytes, greys[0].bytes);
            EXPECT_EQ(filtered[run].bytes, filtered[0].bytes);
            InterleavedImage same;
            PixelBuffer grey;
            ASSERT_EQ(test_calls::make_difference_image(frame, frame, grey, kernel_sample_angle,
                                                        filters, dir.folder(), same,
                                                        DeltaEFormula::cie94, storage),
                      1);
            EXPECT_EQ(same.max, 0.0);
            EXPECT_EQ(same.min, 0.0);
        }
        set_core_budget(0);
    }
}

TEST_F(Pipeline, RefusesMismatchedFramesAndBuffers) {
    const PixelBuffer a = pattern_frame(8, 6, 1);
    const PixelBuffer b = pattern_frame(6, 8, 2);
    PixelBuffer grey;
    InterleavedImage result;
    result.data = {42.0};
    EXPECT_THROW(test_calls::make_difference_image(a, b, grey, kernel_sample_angle, filters,
                                                   dir.folder(), result),
                 Failure);
    PixelBuffer wrong_grey = make_pixel_buffer(8, 5);
    EXPECT_THROW(test_calls::make_difference_image(a, a, wrong_grey, kernel_sample_angle, filters,
                                                   dir.folder(), result),
                 Failure);
    EXPECT_EQ(result.data, std::vector<double>{42.0});

    PixelBuffer wrong = make_pixel_buffer(7, 6);
    EXPECT_THROW(test_calls::scielab_filter_frame(a, wrong, filters.a, filters.t, filters.d,
                                                  kernel_sample_angle, dir.folder()),
                 Failure);
    PixelBuffer short_source = a;
    short_source.bytes.resize(short_source.bytes.size() - 3);
    PixelBuffer out;
    EXPECT_THROW(test_calls::scielab_filter_frame(short_source, out, filters.a, filters.t,
                                                  filters.d, kernel_sample_angle, dir.folder()),
                 Failure);
}

// A reference's coordinates made once serve several degraded frames with the values of
// difference_map for each pair, for every formula, on one core and on several, for frames
// whose coordinates take one block and several (20000 x 40: 34 rows a block).
TEST_F(Pipeline, ReferenceCoordinatesMadeOnceGiveEachPairsMap) {
    for (const auto& [w, h] : {std::pair{33, 20}, std::pair{31, 17}, std::pair{20000, 40}}) {
        const PixelBuffer frame = pattern_frame(w, h, 4);
        for (const DeltaEFormula formula : {DeltaEFormula::cie94, DeltaEFormula::ciede2000,
                                            DeltaEFormula::cie76, DeltaEFormula::itp}) {
            for (const int cores : {1, 4}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + ", formula " +
                             std::to_string(static_cast<int>(formula)) + ", cores " +
                             std::to_string(cores));
                set_core_budget(cores);
                MeasurementConditions c =
                    test_calls::conditions(filters, kernel_sample_angle, dir.folder());
                c.formula = formula;
                const ReferenceColours colours = reference_colours(frame, c);
                for (const unsigned seed : {5u, 6u}) {
                    const PixelBuffer degraded = degrade(frame, seed);
                    const InterleavedImage alone = difference_map(frame, degraded, c, nullptr);
                    const InterleavedImage shared = difference_map_against(colours, degraded, c);
                    EXPECT_EQ(shared.data, alone.data);
                    EXPECT_EQ(shared.mean, alone.mean);
                    EXPECT_EQ(shared.max, alone.max);
                    EXPECT_EQ(shared.min, alone.min);
                }
                EXPECT_EQ(difference_map_against(colours, frame, c).max, 0.0);
            }
            if (w > 1000) break;  // the other formulas take the same blocks
        }
    }
    set_core_budget(0);
    const MeasurementConditions c =
        test_calls::conditions(filters, kernel_sample_angle, dir.folder());
    const ReferenceColours colours = reference_colours(pattern_frame(8, 6, 1), c);
    EXPECT_THROW(difference_map_against(colours, pattern_frame(6, 8, 2), c), Failure);
    EXPECT_THROW(difference_map_against(colours, pattern_frame(8, 7, 2), c), Failure);
}

TEST_F(Pipeline, AbsentFramesDoNothing) {
    const PixelBuffer frame = pattern_frame(8, 6, 1);
    PixelBuffer none;
    PixelBuffer out = make_pixel_buffer(8, 6);
    test_calls::scielab_filter_frame(none, out, filters.a, filters.t, filters.d,
                                     kernel_sample_angle, dir.folder());
    for (std::uint8_t b : out.bytes) EXPECT_EQ(b, 0);
    InterleavedImage result;
    result.data = {1.0, 2.0};
    EXPECT_EQ(test_calls::make_difference_image(frame, none, out, kernel_sample_angle, filters,
                                                dir.folder(), result),
              0);
    EXPECT_EQ(test_calls::make_difference_image(none, frame, out, kernel_sample_angle, filters,
                                                dir.folder(), result),
              0);
    EXPECT_EQ(result.data, (std::vector<double>{1.0, 2.0}));
}

TEST_F(Pipeline, RefusesUnfinishedFiltersAndBadProfiles) {
    const PixelBuffer frame = pattern_frame(8, 6, 1);
    PixelBuffer out;
    AtdFilters unfinished = filters;
    unfinished.t.response.clear();
    EXPECT_THROW(test_calls::scielab_filter_frame(frame, out, unfinished.a, unfinished.t,
                                                  unfinished.d, kernel_sample_angle, dir.folder()),
                 Failure);
    EXPECT_THROW(test_calls::scielab_lab_image(frame, unfinished.a, unfinished.t, unfinished.d,
                                               kernel_sample_angle, dir.folder()),
                 Failure);
    InterleavedImage result;
    EXPECT_THROW(test_calls::make_difference_image(frame, frame, out, kernel_sample_angle,
                                                   AtdFilters{}, dir.folder(), result),
                 Failure);

    struct Case {
        const char* file;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"DISPGOG_parameter.txt", "h h h h h h h h h 0 0 2.2 1 0 2.2 1 0 2.2", "red gain is 0"},
        {"DISPGOG_parameter.txt", "h h h h h h h h h 1 0 2.2 1 0 -2 1 0 2.2", "green gamma"},
        {"XYZtoLMS_mat.txt", "1 2 3 2 4 6 1 1 1", "singular"},
        {"RGBtoXYZ_mat.txt", "1 2 3 4 5 6 7 8 1e999", "out of range"},
    };
    for (const Case& c : cases) {
        ScratchFolder bad;
        scielab_test::write_profile(bad);
        bad.write(c.file, c.text);
        PixelBuffer untouched = make_pixel_buffer(8, 6);
        try {
            test_calls::scielab_filter_frame(frame, untouched, filters.a, filters.t, filters.d,
                                             kernel_sample_angle, bad.folder());
            ADD_FAILURE() << c.file << " accepted";
        } catch (const Failure& f) {
            EXPECT_NE(orv::failure_text(f).find(c.expected), std::string::npos)
                << orv::failure_text(f);
        }
        for (std::uint8_t b : untouched.bytes) EXPECT_EQ(b, 0);
    }
    ScratchFolder empty;
    try {
        test_calls::scielab_lab_image(frame, filters.a, filters.t, filters.d, kernel_sample_angle,
                                      empty.folder());
        ADD_FAILURE() << "empty folder accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(orv::failure_text(f),
                  "Error: file open [" + empty.file("DISPGOG_parameter.txt") + "].");
    }
}

TEST(ScaleToGrey, SmallestIsBlackLargestIsWhite) {
    const double values[6] = {2.0, 4.0, 3.0, 2.5, 3.99, 2.0};
    PixelBuffer out = make_pixel_buffer(3, 2);
    scale_to_grey(values, 6, out);
    const std::uint8_t expected[6] = {0, 255, 127, 63, 253, 0};
    for (int i = 0; i < 6; ++i) {
        const int row = i / 3, col = i % 3;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(out.bytes[static_cast<std::size_t>(row * out.stride + 3 * col + c)],
                      expected[i])
                << i;
        }
    }
    EXPECT_EQ(out.bytes[9], 0);  // filler of row 0
    const double flat[6] = {5, 5, 5, 5, 5, 5};
    scale_to_grey(flat, 6, out);
    for (std::uint8_t b : out.bytes) EXPECT_EQ(b, 0);
    EXPECT_THROW(scale_to_grey(flat, 5, out), Failure);
}

// The extremes start at -10000 and 10000 and skip NaNs; a NaN is black, and levels are
// truncated, on the picture's every channel.
TEST(ScaleToGrey, NaNsAndValuesBeyondTheStartingExtremes) {
    struct Case {
        double values[4];
        std::uint8_t grey[4];
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {{nan, 1.0, 3.0, 2.0}, {0, 0, 255, 127}},
        {{20000.0, 30000.0, 25000.0, 12000.0}, {127, 255, 191, 25}},
        {{-30000.0, -20000.0, -25000.0, -29999.0}, {0, 127, 63, 0}},
    };
    for (const Case& c : cases) {
        PixelBuffer out = make_pixel_buffer(2, 2);
        scale_to_grey(c.values, 4, out);
        for (int i = 0; i < 4; ++i) {
            for (int ch = 0; ch < 3; ++ch) {
                EXPECT_EQ(
                    out.bytes[static_cast<std::size_t>((i / 2) * out.stride + 3 * (i % 2) + ch)],
                    c.grey[i])
                    << c.values[i];
            }
        }
    }
}

}  // namespace
}  // namespace orv
