// The Bjøntegaard delta: the published worked pair, exact cases that any correct interpolant
// must reproduce, and the refusals that leave a cell empty.

#include <cmath>
#include <gtest/gtest.h>

#include "measure/bjontegaard.h"

namespace orv {
namespace {

// Worked pair of the Bjøntegaard delta with PCHIP interpolation (the JVET common-test-conditions
// method, MATLAB pchip / SciPy PchipInterpolator slopes), as listed with its figures in the
// project's table of published reference values: BD-rate -10.421683 %, BD-ΔE -0.066089.
TEST(Bjontegaard, WorkedPair) {
    const std::vector<RatePoint> anchor = {
        {100000, 2.0}, {200000, 1.5}, {400000, 1.1}, {800000, 0.8}};
    const std::vector<RatePoint> test = {
        {90000, 2.1}, {170000, 1.55}, {330000, 1.12}, {650000, 0.79}};
    const BdValue rate = bd_rate_percent(anchor, test);
    ASSERT_TRUE(rate.value.has_value()) << rate.warning;
    EXPECT_NEAR(*rate.value, -10.421683, 1e-6);
    const BdValue delta = bd_quality_delta(anchor, test);
    ASSERT_TRUE(delta.value.has_value()) << delta.warning;
    EXPECT_NEAR(*delta.value, -0.066089, 1e-6);
    // Swapping the curves turns the quality delta round exactly, the rate into its inverse.
    EXPECT_NEAR(*bd_quality_delta(test, anchor).value, 0.066089, 1e-6);
    EXPECT_NEAR(*bd_rate_percent(test, anchor).value, (1.0 / (1.0 - 0.10421683) - 1.0) * 100.0,
                1e-4);
}

// The same curve at 90 % of the bits is exactly -10 % whatever the shape of the curve; the same
// curve shifted down by 0.25 in quality is exactly -0.25.
TEST(Bjontegaard, ScaledAndShiftedCurvesGiveExactDeltas) {
    const std::vector<RatePoint> anchor = {
        {50000, 3.1}, {120000, 2.2}, {300000, 1.9}, {700000, 0.6}, {1500000, 0.55}};
    std::vector<RatePoint> cheaper, better;
    for (const RatePoint& p : anchor) {
        cheaper.push_back({p.bitrate * 0.9, p.quality});
        better.push_back({p.bitrate, p.quality - 0.25});
    }
    EXPECT_NEAR(*bd_rate_percent(anchor, cheaper).value, -10.0, 1e-9);
    EXPECT_NEAR(*bd_quality_delta(anchor, better).value, -0.25, 1e-12);
    EXPECT_NEAR(*bd_rate_percent(anchor, anchor).value, 0.0, 1e-12);
}

// Straight data: every slope is the secant, and the integral is the trapezoid.
TEST(Bjontegaard, PchipReproducesStraightLines) {
    const std::vector<double> x = {0.0, 1.0, 3.0, 3.5, 7.0};
    std::vector<double> y;
    for (double v : x) y.push_back(2.0 - 0.5 * v);
    for (double d : pchip_slopes(x, y)) EXPECT_DOUBLE_EQ(d, -0.5);
    EXPECT_NEAR(pchip_integral(x, y, pchip_slopes(x, y), 0.5, 6.0), 5.5 * (2.0 - 0.5 * 3.25),
                1e-12);
}

// A local extremum gets a flat slope, and an end slope against the data's direction is cut to
// zero (no overshoot).
TEST(Bjontegaard, SlopesKeepTheShape) {
    const std::vector<double> d = pchip_slopes({0, 1, 2, 3}, {0, 1, 0, 0});
    EXPECT_EQ(d[1], 0.0);
    EXPECT_EQ(d[2], 0.0);
    EXPECT_EQ(d[3], 0.0);
    // First end: ((2h0 + h1) m0 - h0 m1) / (h0 + h1) = (3 - (-1)) / 2 = 2, within 3 m0.
    EXPECT_DOUBLE_EQ(d[0], 2.0);
}

TEST(Bjontegaard, RefusalsLeaveNoNumber) {
    const std::vector<RatePoint> four = {{1e5, 2.0}, {2e5, 1.5}, {4e5, 1.1}, {8e5, 0.8}};
    const std::vector<RatePoint> three = {{1e5, 2.0}, {2e5, 1.5}, {4e5, 1.1}};
    const std::vector<RatePoint> apart = {{1e7, 0.5}, {2e7, 0.4}, {4e7, 0.3}, {8e7, 0.2}};
    const std::vector<RatePoint> repeated = {{1e5, 2.0}, {2e5, 1.5}, {4e5, 1.5}, {8e5, 0.8}};
    struct Case {
        const char* name;
        const std::vector<RatePoint>* test;
        bool rate_refused, delta_refused;
        const char* words;
    };
    const Case cases[] = {
        {"three points", &three, true, true, "at least 4"},
        {"no overlap", &apart, true, true, "do not overlap"},
        {"repeated quality", &repeated, true, false, "must differ"},
    };
    for (const Case& c : cases) {
        const BdValue rate = bd_rate_percent(four, *c.test);
        const BdValue delta = bd_quality_delta(four, *c.test);
        EXPECT_EQ(!rate.value, c.rate_refused) << c.name;
        EXPECT_EQ(!delta.value, c.delta_refused) << c.name;
        EXPECT_NE(rate.warning.find(c.words), std::string::npos) << c.name << ": " << rate.warning;
    }
}

}  // namespace
}  // namespace orv
