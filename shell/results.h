#pragma once
// The results window's contents: the per-frame figures of the colour-difference images
// (mean, 95th percentile when known, maximum) against the frame number, the figures pooled
// over the sequence, and the mapping between the plot and the frames, so that a click on a
// point shows that frame.

#include <string>
#include <vector>

#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

struct ResultsPoint {
    int frame = 0;
    double mean = 0.0;
    double p95 = 0.0;  // valid when ResultsView::has_p95
    double max = 0.0;
};

struct ResultsView {
    std::vector<ResultsPoint> points;  // frames 0 .. n-1 that hold a difference result
    bool has_p95 = false;
    double mean_of_means = 0.0;
    double largest_mean = 0.0;
    int largest_mean_frame = 0;
    double max = 0.0;
    int max_frame = 0;
};

// The figures of the current colour-difference images (empty before the first run).
ResultsView results_view(const FrameStore& store);

// The pooled figures as lines of text.
std::vector<std::string> pooled_lines(const ResultsView& view);

// Where the plot lies in a window of width x height, and its value range.
struct PlotArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int first_frame = 0;
    int last_frame = 0;
    double value_max = 1.0;
};

PlotArea plot_area(const ResultsView& view, int width, int height);
// Window position of a frame's value.
double plot_x(const PlotArea& area, int frame);
double plot_y(const PlotArea& area, double value);
// The frame whose column is nearest to x inside the plot, or -1 outside it.
int frame_at(const PlotArea& area, int x, int y);

}  // namespace orv
