#pragma once
// The Bjøntegaard-delta table of rate-distortion curves: every test curve against the anchor,
// per quality figure, as bd.csv rows and an HTML table; and the curves read back from a saved
// rd.csv for `orv-cli bd`.

#include <string>
#include <vector>

#include "measure/bjontegaard.h"

namespace orv {

struct RdCurve {
    std::string name;              // the codec, or the label of a set of bitstreams
    std::vector<double> bitrates;  // bits per second, one per point
    // Per figure (in the order of the table's figure names), one value per point.
    std::vector<std::vector<double>> figures;
};

struct BdRow {
    std::string anchor;
    std::string test;
    std::string figure;  // mean, p95, psnr_y, ...
    BdValue rate;        // percent
    BdValue delta;       // in the figure's unit
};

// Every curve after the first against the first, for each of `figure_names` (the names of
// RdCurve::figures, in order).
std::vector<BdRow> bd_rows(const RdCurve& anchor, const std::vector<RdCurve>& tests,
                           const std::vector<std::string>& figure_names);

// "anchor,test,metric,bd_rate_percent,bd_delta" and one line per row, six decimals; a delta
// that could not be computed is an empty cell.
std::string bd_csv(const std::vector<BdRow>& rows);
// The rows as an HTML table with the warnings beside them.
std::string bd_html_table(const std::vector<BdRow>& rows);
// One English line per refused cell: "anchor vs test, figure: BD-rate: why".
std::vector<std::string> bd_warnings(const std::vector<BdRow>& rows);

// The curves of a saved rd.csv, in the order their names first appear, with the columns
// named in `figure_names` (those missing from the table are left out of `present`). Raises a
// Failure when the table cannot be read.
std::vector<RdCurve> read_rd_curves(const std::string& path,
                                    const std::vector<std::string>& figure_names,
                                    std::vector<std::string>& present);

}  // namespace orv
