#pragma once
// The self-contained HTML report of a measured sequence: provenance, pooled figures, a plot of
// the per-frame mean, 95th percentile and maximum, the histogram of the pooled distribution
// and the worst frames (reference, degraded, heatmap) as inline PNG pictures. No scripts and
// nothing fetched from elsewhere.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "colour/colour_types.h"
#include "report/heatmap.h"
#include "report/run_record.h"

namespace orv {

// `text` with &, <, > and " written as HTML character references.
std::string html_escaped(std::string_view text);

// Counts of every pixel difference in bins of `bin_width` from 0, up to `bin_count` bins;
// larger values are counted in `beyond`.
struct ValueHistogram {
    double bin_width = 0.05;
    std::vector<std::uint64_t> counts = std::vector<std::uint64_t>(2000, 0);
    std::uint64_t beyond = 0;
};

void add_to_histogram(ValueHistogram& histogram, const InterleavedImage& map);

struct WorstFrame {
    int frame = 0;
    double mean = 0.0;
    std::string reference_png;  // PNG file bytes, shrunk for the page
    std::string degraded_png;
    std::string heatmap_png;  // with its colour bar
    int picture_width = 0;    // of the reference and degraded pictures
    int heatmap_width = 0;
};

// The frames with the largest means (at most `keep`), largest first; on equal means the
// earlier frame ranks first.
struct WorstFrames {
    std::size_t keep = 5;
    std::vector<WorstFrame> frames;
};

// True when a frame of this mean would enter the list.
bool is_worst_frame(const WorstFrames& worst, double mean);
void keep_worst_frame(WorstFrames& worst, WorstFrame frame);

// The PNG pictures of a worst frame, each at most `max_width` pixels wide.
WorstFrame make_worst_frame(int frame, double mean, const PixelBuffer& reference,
                            const PixelBuffer& degraded, const InterleavedImage& map,
                            const HeatmapStyle& style, int max_width = 400);

std::string html_report(const RunRecord& run, const ValueHistogram& histogram,
                        const WorstFrames& worst, const HeatmapStyle& style);

}  // namespace orv
