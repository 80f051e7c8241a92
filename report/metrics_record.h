#pragma once
// PSNR and SSIM in a run's outputs: the extra columns of the per-frame table, the "metrics"
// section of the JSON record and the HTML report's table of their means.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "measure/frame_metrics.h"
#include "report/run_record.h"

namespace orv {

// ",psnr_y,...,ssim_all" for the figures the plan asks for; empty without any.
std::string metrics_csv_header(const MetricsPlan& plan);
// ",V,..." with six decimals; an identical plane's PSNR as "inf".
std::string metrics_csv_fields(const std::vector<double>& values);

// The record's "metrics" section: what was measured and on which planes, the pooling rule,
// the means over the frames, and each frame's figures (an infinite PSNR as null).
nlohmann::ordered_json metrics_json(const RunRecord& run);

// The HTML report's section with the means of the figures.
std::string metrics_html(const RunRecord& run);

}  // namespace orv
