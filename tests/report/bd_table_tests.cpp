// The Bjøntegaard table of rate-distortion runs: from the full-precision pooled figures, the
// CSV cells (empty when refused), and rd.csv read back into the same curves.

#include <fstream>
#include <gtest/gtest.h>

#include "numeric/failure.h"
#include "report/bd_table.h"
#include "report/rd_report.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

RdPoint point(const std::string& codec, double bitrate, double mean, double p95) {
    RdPoint p;
    p.settings.codec = codec;
    p.bitrate = bitrate;
    p.pooled.mean = mean;
    p.pooled.p95 = p95;
    return p;
}

// The worked pair of the published Bjøntegaard-delta reference (see bjontegaard_tests.cpp):
// BD-rate -10.421683 %, BD-ΔE -0.066089; p95 is the same curves raised by 0.25, which changes
// neither figure. A third codec of three points gives empty cells.
RdRun worked_run() {
    RdRun run;
    const double a_rate[] = {100000, 200000, 400000, 800000}, a_de[] = {2.0, 1.5, 1.1, 0.8};
    const double t_rate[] = {90000, 170000, 330000, 650000}, t_de[] = {2.1, 1.55, 1.12, 0.79};
    for (int i = 0; i < 4; ++i) {
        run.points.push_back(point("h264", a_rate[i], a_de[i], a_de[i] + 0.25));
    }
    for (int i = 0; i < 4; ++i) {
        run.points.push_back(point("hevc", t_rate[i], t_de[i], t_de[i] + 0.25));
    }
    for (int i = 0; i < 3; ++i) run.points.push_back(point("av1", a_rate[i], a_de[i], a_de[i]));
    return run;
}

TEST(BdTable, RunGivesEveryTestAgainstTheFirstCodec) {
    const std::vector<BdRow> rows = rd_bd_rows(worked_run());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].anchor, "h264");
    EXPECT_EQ(rows[0].test, "hevc");
    EXPECT_EQ(rows[0].figure, "mean");
    EXPECT_NEAR(*rows[0].rate.value, -10.421683, 1e-6);
    EXPECT_NEAR(*rows[0].delta.value, -0.066089, 1e-6);
    EXPECT_EQ(rows[1].figure, "p95");
    EXPECT_NEAR(*rows[1].rate.value, -10.421683, 1e-6);
    EXPECT_NEAR(*rows[1].delta.value, -0.066089, 1e-6);
    EXPECT_EQ(rows[3].test, "av1");
    EXPECT_FALSE(rows[3].rate.value.has_value());

    const std::string csv = bd_csv(rows);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "anchor,test,metric,bd_rate_percent,bd_delta");
    EXPECT_NE(csv.find("h264,hevc,mean,-10.421683,-0.066089\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("h264,av1,p95,,\n"), std::string::npos) << csv;
    EXPECT_EQ(bd_warnings(rows).size(), 4u);  // rate and delta of both av1 rows
    EXPECT_NE(rd_html(worked_run()).find("-10.42"), std::string::npos);
    EXPECT_TRUE(rd_bd_rows(RdRun{}).empty());
}

TEST(BdTable, SavedTableReadsBackIntoTheSameCurves) {
    test::TempFolder temp;
    const std::string path = temp.file("rd.csv");
    std::ofstream(path) << rd_csv(worked_run());
    std::vector<std::string> present;
    const std::vector<RdCurve> curves = read_rd_curves(path, {"mean", "psnr_y", "p95"}, present);
    EXPECT_EQ(present, (std::vector<std::string>{"mean", "p95"}));
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[1].name, "hevc");
    EXPECT_EQ(curves[1].bitrates[2], 330000.0);
    EXPECT_EQ(curves[1].figures[1][0], 2.35);
    const std::vector<BdRow> rows = bd_rows(curves[0], {curves[1]}, present);
    EXPECT_NEAR(*rows[0].rate.value, -10.421683, 1e-6);

    struct Case {
        const char* text;
        const char* words;
    };
    const Case cases[] = {
        {"", "it is empty"},
        {"setting,bytes\n", "no codec or no bitrate"},
        {"codec,bitrate,mean\nh264,100\n", "line 2 has 2 fields"},
        {"codec,bitrate,mean\nh264,100,1,5x\n", "line 2 has 4 fields"},
        {"codec,bitrate,mean\nh264,1e5,two\n", "\"two\" is not a number"},
    };
    for (const Case& c : cases) {
        std::ofstream(path, std::ios::trunc) << c.text;
        try {
            read_rd_curves(path, {"mean"}, present);
            ADD_FAILURE() << c.words;
        } catch (const Failure& f) {
            EXPECT_NE(failure_text(f).find(c.words), std::string::npos) << failure_text(f);
        }
    }
}

}  // namespace
}  // namespace orv
