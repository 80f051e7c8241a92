// PSNR and SSIM beside the colour differences: the names accepted, the planes chosen for a
// pair of inputs, samples above 8 bits, and the pooling of identical frames.

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "measure/frame_metrics.h"
#include "numeric/failure.h"

namespace orv {
namespace {

TEST(FrameMetrics, NamesAcceptedAndRefused) {
    struct Case {
        const char* text;
        bool psnr, ssim;
        const char* refused;  // the word named by the failure, or null
    };
    const Case cases[] = {
        {"psnr", true, false, nullptr},     {"ssim", false, true, nullptr},
        {"psnr,ssim", true, true, nullptr}, {"ssim,psnr,ssim", true, true, nullptr},
        {"vmaf", false, false, "vmaf"},     {"psnr,", false, false, ""},
        {"PSNR", false, false, "PSNR"},     {"psnr, ssim", false, false, " ssim"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            const MetricsRequest r = parse_metrics(c.text);
            EXPECT_EQ(c.refused, nullptr);
            EXPECT_EQ(r.psnr, c.psnr);
            EXPECT_EQ(r.ssim, c.ssim);
        } catch (const Failure& f) {
            ASSERT_NE(c.refused, nullptr);
            EXPECT_EQ(f.kind, FailureKind::unknown_metric);
            ASSERT_EQ(f.values.size(), 1u);
            EXPECT_EQ(f.values[0], c.refused);
        }
    }
}

TEST(FrameMetrics, PlanesChosenForThePairOfInputs) {
    const MetricsRequest both{true, true};
    struct Case {
        const char* what;
        std::vector<std::string> reference, degraded;
        bool planes;
        const char* format;
        bool note;
        const char* first_column;
    };
    const Case cases[] = {
        {"both yuv420p", {"yuv420p"}, {"yuv420p"}, true, "yuv420p", false, "psnr_y"},
        {"several files, one format",
         {"yuv444p", "yuv444p"},
         {"yuv444p"},
         true,
         "yuv444p",
         false,
         "psnr_y"},
        {"BMP or PNG on both sides", {""}, {"", ""}, false, "rgb24", false, "psnr_r"},
        {"YUV against RGB", {"yuv420p"}, {""}, false, "rgb24", true, "psnr_r"},
        {"different subsampling", {"yuv420p"}, {"yuv422p"}, false, "rgb24", true, "psnr_r"},
        {"different depth", {"yuv420p10le"}, {"yuv420p"}, false, "rgb24", true, "psnr_r"},
        {"a YUV file among pictures", {"yuv420p", ""}, {"yuv420p"}, false, "rgb24", true, "psnr_r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MetricsPlan plan = plan_metrics(both, c.reference, c.degraded);
        EXPECT_EQ(plan.planes, c.planes);
        EXPECT_EQ(plan.format, c.format);
        EXPECT_EQ(!plan.note.empty(), c.note) << plan.note;
        const std::vector<std::string> columns = metric_columns(plan);
        ASSERT_EQ(columns.size(), 8u);
        EXPECT_EQ(columns[0], c.first_column);
        EXPECT_EQ(columns[3], "psnr_avg");
        EXPECT_EQ(columns[7], "ssim_all");
    }
    // One format, values standing for colours differently: measured as they are, with a note.
    const MetricsPlan recoded =
        plan_metrics(both, {"yuv420p"}, {"yuv420p"}, {"BT.601 limited"}, {"BT.709 limited"});
    EXPECT_TRUE(recoded.planes);
    EXPECT_NE(recoded.note.find("(reference BT.601 limited, degraded BT.709 limited)"),
              std::string::npos)
        << recoded.note;
    EXPECT_TRUE(plan_metrics(both, {"yuv420p"}, {"yuv420p"}, {"BT.709 full"}, {"BT.709 full"})
                    .note.empty());
    EXPECT_EQ(metric_columns(plan_metrics({false, true}, {""}, {""})),
              (std::vector<std::string>{"ssim_r", "ssim_g", "ssim_b", "ssim_all"}));
}

// Planes of 10-bit samples: the peak is 1023, and the constants of SSIM follow it.
TEST(FrameMetrics, TenBitPlanes) {
    const int w = 16, h = 16;
    std::vector<std::uint16_t> a(w * h), b(w * h);
    for (int i = 0; i < w * h; ++i) {
        a[i] = static_cast<std::uint16_t>((i * 37) % 1024);
        b[i] = static_cast<std::uint16_t>(a[i] ^ 1);  // every sample off by one
    }
    const WidePlaneView va{a.data(), w, h, 1, w}, vb{b.data(), w, h, 1, w};
    EXPECT_DOUBLE_EQ(plane_mse(va, vb), 1.0);
    const PlaneMetrics m = plane_metrics({va, va}, {vb, va}, {"y", "u"}, 10, MetricChoice{});
    EXPECT_NEAR(m.psnr[0], 20 * std::log10(1023.0), 1e-9);
    EXPECT_TRUE(std::isinf(m.psnr[1]));
    EXPECT_NEAR(m.psnr_avg, 10 * std::log10(1023.0 * 1023.0 / 0.5), 1e-9);  // mean MSE 0.5
    EXPECT_DOUBLE_EQ(m.ssim[1], 1.0);
    // An error of one code in ten bits hardly changes the structure: SSIM near 1, and nearer
    // than the same sample values read as 8-bit would give with 255's constants.
    EXPECT_GT(m.ssim[0], 0.9999);
    EXPECT_LT(m.ssim[0], 1.0);
    EXPECT_GT(plane_ssim(va, vb, 1023.0), plane_ssim(va, vb, 255.0));
}

TEST(FrameMetrics, PoolingCountsIdenticalFramesAtTheOneCodePsnr) {
    const MetricsPlan plan = plan_metrics({true, false}, {"yuv420p"}, {"yuv420p"});
    const double inf = std::numeric_limits<double>::infinity();
    FrameMetrics differing, identical;
    differing.measured = identical.measured = true;
    differing.samples = identical.samples = {64.0, 16.0, 16.0};
    differing.figures.psnr = {30.0, 40.0, 50.0};
    differing.figures.psnr_avg = 35.0;
    identical.figures.psnr = {inf, 44.0, inf};
    identical.figures.psnr_avg = inf;
    MetricsPool pool;
    add_frame_metrics(pool, plan, differing);
    add_frame_metrics(pool, plan, identical);
    add_frame_metrics(pool, plan, FrameMetrics{});  // not measured: left out
    const PooledMetrics pooled = pooled_metrics(pool);
    ASSERT_EQ(pooled.columns, (std::vector<std::string>{"psnr_y", "psnr_u", "psnr_v", "psnr_avg"}));
    EXPECT_EQ(pooled.frames, 2);
    const double y_cap = 10 * std::log10(255.0 * 255.0 * 64),
                 v_cap = 10 * std::log10(255.0 * 255.0 * 16);
    const double all_cap = 10 * std::log10(255.0 * 255.0 * 96);
    EXPECT_NEAR(pooled.values[0], (30.0 + y_cap) / 2, 1e-12);
    EXPECT_NEAR(pooled.values[1], 42.0, 1e-12);
    EXPECT_NEAR(pooled.values[2], (50.0 + v_cap) / 2, 1e-12);
    EXPECT_NEAR(pooled.values[3], (35.0 + all_cap) / 2, 1e-12);
    EXPECT_EQ(pooled.identical, (std::vector<int>{1, 0, 1, 1}));
    // The cap lies above what any differing plane of that size can reach (one code wrong).
    EXPECT_GT(y_cap, 10 * std::log10(255.0 * 255.0 / (2.0 / 64)));
}

TEST(FrameMetrics, MissingPlanesNameTheFrame) {
    const MetricsPlan plan = plan_metrics({true, true}, {"yuv420p"}, {"yuv420p"});
    DecodedPlanes planes;
    planes.format = "yuv420p";
    for (int c = 0; c < 3; ++c) {
        planes.planes.push_back({8, 8, std::vector<std::uint16_t>(64, 100)});
    }
    const PixelBuffer pixels = make_pixel_buffer(8, 8);
    const FrameMetrics same =
        measure_frame_metrics(plan, pixels, planes, "a#0", pixels, planes, "b#0");
    EXPECT_TRUE(std::isinf(same.figures.psnr_avg));
    EXPECT_DOUBLE_EQ(same.figures.ssim_all, 1.0);
    try {
        measure_frame_metrics(plan, pixels, planes, "a#0", pixels, DecodedPlanes{}, "b#0");
        FAIL() << "a frame without planes was measured";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailureKind::metrics_planes_missing);
        EXPECT_EQ(f.path, "b#0");
    }
}

}  // namespace
}  // namespace orv
