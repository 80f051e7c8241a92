// The fast light of exact signals against quadruple-precision powers and exponentials, against
// the library's own per-value formulas, and byte values against the 8-bit path's tables.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <quadmath.h>

#include "colour/conversions.h"
#include "colour/display_model.h"
#include "colour/signal_light.h"
#include "colour/signal_rows.h"

namespace orv {
namespace {

double relative_error(double value, __float128 exact) {
    const __float128 e = exact < 0 ? -exact : exact;
    const __float128 d = static_cast<__float128>(value) - exact;
    return static_cast<double>((d < 0 ? -d : d) / e);
}

// Within the tables a power is the product of two correctly rounded entries and a series:
// a few units in the last place (2^-52 is one at 1).
TEST(SignalLight, PowersMatchQuadruplePrecision) {
    struct Case {
        const char* name;
        double exponent;
    };
    const Case cases[] = {{"gamma 2.2", 2.2},
                          {"sRGB and BT.1886 2.4", 2.4},
                          {"PQ 1/m2", 1.0 / display_constants::pq_m2},
                          {"PQ 1/m1", 1.0 / display_constants::pq_m1},
                          {"HLG system gamma - 1", 0.2},
                          {"one", 1.0},
                          {"zero", 0.0},
                          {"negative", -0.45}};
    std::vector<double> xs = {std::ldexp(1.0, -64),     1e-10, 0.001, 0.5, 0.999999, 1.0,
                              1.0 + 1.0 / 1024,
                              1.0 + 1023.5 / 1024,  // rounds to the step 2
                              std::nextafter(2.0, 0.0), 255.9};
    std::mt19937_64 random(29);
    std::uniform_real_distribution<double> unit(-20.0, 0.5);
    for (int i = 0; i < 2000; ++i) xs.push_back(std::exp2(unit(random)));
    for (const Case& c : cases) {
        const PowerTable table = make_power_table(c.exponent);
        ASSERT_TRUE(table.series_fits) << c.name;
        double worst = 0.0;
        for (double x : xs) {
            const __float128 exact =
                powq(static_cast<__float128>(x), static_cast<__float128>(c.exponent));
            worst = std::max(worst, relative_error(power_of(table, x), exact));
        }
        EXPECT_LT(worst, 4 * std::ldexp(1.0, -52)) << c.name;
    }
}

// Outside the tables, and for exponents whose series would be too long, std::pow answers.
TEST(SignalLight, PowersOutsideTheTablesAreTheLibrarys) {
    const PowerTable table = make_power_table(2.4);
    for (double x : {0.0, std::ldexp(1.0, -65), std::numeric_limits<double>::denorm_min(), 256.0,
                     1e300, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(power_of(table, x), std::pow(x, 2.4)) << x;
    }
    EXPECT_TRUE(std::isnan(power_of(table, -0.25)));
    EXPECT_TRUE(std::isnan(power_of(table, std::nan(""))));
    const PowerTable large = make_power_table(40.0);
    EXPECT_FALSE(large.series_fits);
    EXPECT_EQ(power_of(large, 0.7), std::pow(0.7, 40.0));
}

TEST(SignalLight, ExponentialsMatchQuadruplePrecision) {
    const ExpTable table = make_exp_table(-0.4, 2.5);
    double worst = 0.0;
    for (int i = 0; i <= 5000; ++i) {
        const double z = -0.4 + 2.9 * i / 5000.0 - 1e-9;
        worst = std::max(worst, relative_error(exp_of(table, z), expq(static_cast<__float128>(z))));
    }
    EXPECT_LT(worst, 4 * std::ldexp(1.0, -52));
    for (double z : {-3.0, 2.6, 40.0}) EXPECT_EQ(exp_of(table, z), std::exp(z)) << z;
}

struct Display {
    const char* name;
    DisplayChoice choice;
};

std::vector<Display> displays() {
    std::vector<Display> list;
    list.push_back({"profile", {}});
    for (DisplayTransfer t : {DisplayTransfer::srgb, DisplayTransfer::bt1886, DisplayTransfer::pq,
                              DisplayTransfer::hlg}) {
        DisplayChoice c;
        c.transfer = t;
        if (t == DisplayTransfer::bt1886) c.black_luminance = 0.1;
        if (t == DisplayTransfer::pq) c.peak_luminance = 4000.0;
        list.push_back({transfer_name(t).data(), c});
    }
    return list;
}

// A gain-offset-gamma display with a negative offset, so that low signals give no light.
const GogParameters gog{{1.02, -0.02, 2.2}, {0.98, 0.01, 2.35}, {1.0, 0.0, 2.05}};

// The 8-bit path's table of a display, as the colour model makes it.
DisplayTable byte_table(const DisplayChoice& choice) {
    if (choice.transfer == DisplayTransfer::profile) return make_display_table(gog);
    const TransferParameters p = transfer_parameters(choice);
    DisplayTable table{};
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t d = 0; d < 256; ++d) {
            table[c][d] = channel_light(p, static_cast<double>(d) / 255.0);
        }
    }
    return table;
}

// The library's per-value light of one pixel: the profile's formula or channel_light and
// HLG's OOTF.
void reference_light(const DisplayChoice& choice, const double v[3], double rgb[3]) {
    const TransferParameters p = transfer_parameters(choice);
    const GogChannel* g[3] = {&gog.red, &gog.green, &gog.blue};
    for (int c = 0; c < 3; ++c) {
        if (choice.transfer == DisplayTransfer::profile) {
            const double base = g[c]->gain * v[c] + g[c]->offset;
            rgb[c] = std::pow(base > 0.0 ? base : 0.0, g[c]->gamma);
        } else {
            rgb[c] = channel_light(p, v[c]);
        }
    }
    if (choice.transfer == DisplayTransfer::hlg) hlg_ootf(p, rgb);
}

std::vector<double> light_of_row(const DisplayChoice& choice, const std::vector<double>& row) {
    const int width = static_cast<int>(row.size() / 3);
    const SignalLight light =
        make_signal_light(gog, transfer_parameters(choice), byte_table(choice));
    std::vector<double> planes(row.size());
    double* const rows[3] = {planes.data(), planes.data() + width, planes.data() + 2 * width};
    signal_row_to_light(light, row.data(), width, rows);
    return planes;
}

// Decoded-video values (and the edges of each formula's pieces) through every display, on a
// row longer than one piece of the row arithmetic: the library's per-value light to within a
// few units in the last place; PQ to within 2e-13 of itself, as its e - c1 cancels digits of
// both computations (and near black to within 1e-12 of the white).
TEST(SignalLight, RowsGiveThePerValueLight) {
    std::vector<double> row;
    for (double v : {0.0, 1.0, 0.04045, 0.0404, 0.5, 0.5000001, 0.02, 0.0196, 1.5, -0.1}) {
        row.push_back(v);
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    while (row.size() < 3 * 700) row.push_back(unit(random));
    for (const Display& d : displays()) {
        const std::vector<double> planes = light_of_row(d.choice, row);
        const std::size_t width = row.size() / 3;
        for (std::size_t x = 0; x < width; ++x) {
            double expected[3];
            reference_light(d.choice, row.data() + 3 * x, expected);
            for (std::size_t c = 0; c < 3; ++c) {
                const double got = planes[c * width + x];
                const double relative = d.choice.transfer == DisplayTransfer::pq ? 2e-13 : 8e-16;
                EXPECT_NEAR(got, expected[c], relative * std::fabs(expected[c]) + 1e-12)
                    << d.name << " pixel " << x << " channel " << c;
            }
        }
    }
}

// PQ's light from its polynomials against the formula in quadruple precision (constants of
// SMPTE ST 2084 / BT.2100): within 1e-15 relative over the octaves they cover, 0 below 2^-21,
// and the same doubles whether a value falls in a row's four-value steps or in its tail.
TEST(SignalLight, PqPolynomialsMatchQuadruplePrecision) {
    const auto q = [](double n) { return static_cast<__float128>(n); };
    const auto exact = [&q](double v) {
        const __float128 e = powq(q(v), q(4096) / (q(2523) * 128));
        __float128 x = e - q(3424) / 4096;
        if (x < 0) x = 0;
        const __float128 c2 = q(2413) / 4096 * 32;
        const __float128 c3 = q(2392) / 4096 * 32;
        return q(10000) * powq(x / (c2 - c3 * e), q(16384) / 2610);
    };
    DisplayChoice choice;
    choice.transfer = DisplayTransfer::pq;
    choice.peak_luminance = 10000.0;
    choice.white_luminance = 1.0;  // the light in cd/m2
    std::vector<double> values = {0x1p-19, std::nextafter(0x1p-19, 0.0),
                                  0x1p-21, 1e-6,
                                  0.5,     std::nextafter(1.0, 0.0),
                                  0.75,    0.999,
                                  0.0999,  0.25};
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> octave(-19.0, 0.0);
    while (values.size() < 4001) values.push_back(std::exp2(octave(random)));
    values.push_back(values[5]);  // the last pixel is in the row's tail (4002 = 15 * 256 + 162)
    std::vector<double> row;
    for (double v : values) row.insert(row.end(), {v, v, v});
    const std::vector<double> planes = light_of_row(choice, row);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double got = planes[i];
        if (values[i] < 0x1p-21) {
            EXPECT_EQ(got, 0.0) << values[i];
            continue;
        }
        if (values[i] >= 0x1p-19) {
            EXPECT_LT(relative_error(got, exact(values[i])), 1e-15) << values[i];
        } else {  // the formula, below 1e-11 cd/m2
            EXPECT_NEAR(got, static_cast<double>(exact(values[i])), 1e-20) << values[i];
        }
        // Green and blue of the pixel are the same value in other lanes of the steps.
        EXPECT_EQ(planes[values.size() + i], got) << values[i];
    }
    EXPECT_EQ(planes[values.size() - 1], planes[5]);
}

// Signal values that are bytes' values (d / 255 as 16-bit files give them, or d times the
// nearest double to 1/255) take the 8-bit path's light bit for bit.
TEST(SignalLight, ByteValuesTakeTheEightBitLight) {
    std::vector<double> row;
    for (int d = 0; d < 256; ++d) {
        row.insert(row.end(), {d / 255.0, (255 - d) * (1.0 / 255.0), (d * 7 % 256) / 255.0});
    }
    for (const Display& disp : displays()) {
        const DisplayTable table = byte_table(disp.choice);
        const TransferParameters p = transfer_parameters(disp.choice);
        const std::vector<double> planes = light_of_row(disp.choice, row);
        for (std::size_t d = 0; d < 256; ++d) {
            double expected[3] = {table[0][d], table[1][255 - d], table[2][d * 7 % 256]};
            if (disp.choice.transfer == DisplayTransfer::hlg) hlg_ootf(p, expected);
            for (std::size_t c = 0; c < 3; ++c) {
                ASSERT_EQ(planes[c * 256 + d], expected[c]) << disp.name << " byte " << d;
            }
        }
    }
}

// The profile's, sRGB's and BT.1886's light from the polynomials' cells, against quadruple
// precision (IEC 61966-2-1; ITU-R BT.1886 Annex 1 with its a and b): within four units in the
// last place over [2^-19, 1). A light without a kink keeps every cell; the cell across the kink
// of a negative offset (gain v + offset = 0) or of sRGB's straight line is left to the
// per-value power, whose light those values get, and cells below the kink hold no light.
TEST(SignalLight, LightPolynomialsMatchQuadruplePrecision) {
    const auto q = [](double v) { return static_cast<__float128>(v); };
    std::vector<double> values = {0x1p-19, 0.0196, 0.019607843, 0.04045, 0.0404, 0.999999};
    std::mt19937_64 random(13);
    std::uniform_real_distribution<double> octave(-19.0, 0.0);
    while (values.size() < 6000) values.push_back(std::exp2(octave(random)));
    struct Case {
        const char* name;
        DisplayTransfer transfer;
        bool kinked;  // red's light has a kink
    };
    for (const Case& c : {Case{"profile", DisplayTransfer::profile, true},
                          Case{"srgb", DisplayTransfer::srgb, true},
                          Case{"bt1886", DisplayTransfer::bt1886, false}}) {
        DisplayChoice choice;
        choice.transfer = c.transfer;
        if (c.transfer == DisplayTransfer::bt1886) choice.black_luminance = 0.1;
        const TransferParameters p = transfer_parameters(choice);
        const SignalLight light = make_signal_light(gog, p, byte_table(choice));
        // Red's offset is negative (no light below its kink: cells of 0); blue's model has
        // no kink at all.
        int left = 0;
        for (const auto& cell : light_polynomials(gog.red, p).polynomials) {
            left += std::isnan(cell.c[0]);
        }
        if (c.kinked) {
            EXPECT_GE(left, 1) << c.name;
            EXPECT_LE(left, 16) << c.name;
        } else {
            EXPECT_EQ(left, 0) << c.name;
        }
        if (c.transfer == DisplayTransfer::profile) {
            for (const auto& cell : light_polynomials(gog.blue, p).polynomials) {
                ASSERT_FALSE(std::isnan(cell.c[0]));
            }
        }
        std::vector<double> row;
        for (double v : values) row.insert(row.end(), {v, v, v});
        const auto width = static_cast<int>(values.size());
        std::vector<double> planes(row.size());
        double* const rows[3] = {planes.data(), planes.data() + width, planes.data() + 2 * width};
        signal_row_to_light(light, row.data(), width, rows);
        const GogChannel* g[3] = {&gog.red, &gog.green, &gog.blue};
        for (std::size_t i = 0; i < values.size(); ++i) {
            const __float128 v = q(values[i]);
            for (std::size_t ch = 0; ch < 3; ++ch) {
                __float128 exact;
                double tolerance = 4 * std::ldexp(1.0, -52);
                if (c.transfer == DisplayTransfer::srgb) {
                    exact = values[i] <= 0.04045
                                ? v * 100 / 1292
                                : powq((v + q(55) / 1000) * 1000 / 1055, q(12) / 5);
                } else if (c.transfer == DisplayTransfer::bt1886) {
                    exact = powq(v + q(p.bt1886_b), q(12) / 5) * q(p.bt1886_a) / q(p.white);
                } else {
                    const __float128 base = q(g[ch]->gain) * v + q(g[ch]->offset);
                    if (base <= 0) continue;
                    exact = powq(base, q(g[ch]->gamma));
                    // Near a negative offset's kink the per-value power forms the base in
                    // doubles: gamma |offset| / base units of its rounding more.
                    tolerance += g[ch]->gamma * std::fabs(g[ch]->offset) /
                                 static_cast<double>(base) * std::ldexp(1.0, -53);
                }
                if (exact < q(1e-300)) continue;
                ASSERT_LT(relative_error(rows[ch][i], exact), tolerance)
                    << c.name << " channel " << ch << " v " << values[i];
            }
        }
    }
}

// The fused row (light and matrix in one pass) gives bit for bit what the light rows and the
// plain matrix give, over rows of every tail length, for values that take each of its side
// paths: bytes' values, 0 and 1, outside [0, 1], not a number, PQ's darkest values. HLG, whose
// OOTF mixes the channels, is left to the light rows.
TEST(SignalLight, FusedRowsEqualLightThenMatrix) {
    const Matrix3 m = {0.3, 0.6, 0.1, -0.5, 0.25, 0.25, 0.11, -0.7, 0.59};
    std::vector<double> values = {
        0.0,     1.0,     -0.25,   1.5,   std::nan(""), 17 / 255.0, 200 * (1.0 / 255.0),
        0x1p-22, 0x1p-20, 0.04045, 1e-300};
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    while (values.size() < 3 * 811) values.push_back(unit(random));
    std::shuffle(values.begin(), values.end(), random);
    for (const Display& d : displays()) {
        const SignalLight light =
            make_signal_light(gog, transfer_parameters(d.choice), byte_table(d.choice));
        for (int width : {1, 2, 3, 4, 5, 7, 9, 811}) {
            std::vector<double> planes(3 * static_cast<std::size_t>(width), -1.0);
            const auto w = static_cast<std::size_t>(width);
            const bool fused = signal_row_to_planes(light, m, values.data(), width, planes.data(),
                                                    planes.data() + w, planes.data() + 2 * w);
            if (d.choice.transfer == DisplayTransfer::hlg) {
                EXPECT_FALSE(fused);
                continue;
            }
            if (!fused) GTEST_SKIP() << "no AVX2 and FMA here";
            std::vector<double> rgb(3 * w);
            double* const rows[3] = {rgb.data(), rgb.data() + w, rgb.data() + 2 * w};
            signal_row_to_light(light, values.data(), width, rows);
            for (std::size_t k = 0; k < 3; ++k) {
                for (std::size_t x = 0; x < w; ++x) {
                    const double want = m[3 * k] * rows[0][x] + m[3 * k + 1] * rows[1][x] +
                                        m[3 * k + 2] * rows[2][x];
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(planes[k * w + x]),
                              std::bit_cast<std::uint64_t>(want))
                        << d.name << " width " << width << " plane " << k << " pixel " << x;
                }
            }
        }
    }
}

}  // namespace
}  // namespace orv
