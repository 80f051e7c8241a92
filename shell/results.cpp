#include "shell/results.h"

#include <algorithm>
#include <cmath>

#include "numeric/number_text.h"
#include "shell/navigation.h"

namespace orv {

namespace {

// Six decimals with a decimal point, whatever the process locale is.
std::string six_decimals(double value) { return fixed_text(value, 6); }

// A round value at or above `value` (1, 2, 2.5, 5 times a power of ten).
double round_up(double value) {
    if (!(value > 0.0)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (m * power >= value) return m * power;
    }
    return 10.0 * power;
}

}  // namespace

ResultsView results_view(const FrameStore& store) {
    ResultsView view;
    if (store.diff_ready <= 0) return view;
    const int n = frame_count(store);
    double sum = 0.0;
    view.has_p95 = true;
    for (int i = 0; i < n; ++i) {
        const auto s = static_cast<std::size_t>(i);
        const InterleavedImage& r = store.diff_results[s];
        if (r.data.empty()) break;
        ResultsPoint p{i, r.mean, store.diff_p95[s], r.max};
        view.has_p95 = view.has_p95 && store.diff_p95_known[s];
        if (view.points.empty() || r.mean > view.largest_mean) {
            view.largest_mean = r.mean;
            view.largest_mean_frame = i;
        }
        if (view.points.empty() || r.max > view.max) {
            view.max = r.max;
            view.max_frame = i;
        }
        sum += r.mean;
        view.points.push_back(p);
    }
    if (view.points.empty()) view.has_p95 = false;
    if (!view.points.empty()) view.mean_of_means = sum / static_cast<double>(view.points.size());
    return view;
}

std::vector<std::string> pooled_lines(const ResultsView& view) {
    std::vector<std::string> lines;
    if (view.points.empty()) {
        lines.emplace_back("色差画像がまだありません（イメージ → 色差画像）");
        return lines;
    }
    lines.push_back("フレーム数 " + std::to_string(view.points.size()) + "   平均の平均 " +
                    six_decimals(view.mean_of_means));
    lines.push_back("平均が最大のフレーム " + std::to_string(view.largest_mean_frame + 1) + " (" +
                    six_decimals(view.largest_mean) + ")   最大 " + six_decimals(view.max) +
                    " (フレーム " + std::to_string(view.max_frame + 1) + ")");
    return lines;
}

PlotArea plot_area(const ResultsView& view, int width, int height) {
    PlotArea area;
    area.left = 70;
    area.top = 70;
    area.width = std::max(width - area.left - 24, 1);
    area.height = std::max(height - area.top - 50, 1);
    area.first_frame = 0;
    area.last_frame = view.points.empty() ? 0 : view.points.back().frame;
    area.value_max = round_up(view.max);
    return area;
}

double plot_x(const PlotArea& area, int frame) {
    const int span = area.last_frame - area.first_frame;
    if (span <= 0) return area.left + area.width / 2.0;
    return area.left + area.width * static_cast<double>(frame - area.first_frame) / span;
}

double plot_y(const PlotArea& area, double value) {
    const double v = std::clamp(value / area.value_max, 0.0, 1.0);
    return area.top + area.height * (1.0 - v);
}

int frame_at(const PlotArea& area, int x, int y) {
    if (x < area.left - 8 || x > area.left + area.width + 8 || y < area.top - 8 ||
        y > area.top + area.height + 8) {
        return -1;
    }
    const int span = area.last_frame - area.first_frame;
    if (span <= 0) return area.first_frame;
    const double at = static_cast<double>(x - area.left) / area.width * span;
    return std::clamp(area.first_frame + static_cast<int>(std::lround(at)), area.first_frame,
                      area.last_frame);
}

}  // namespace orv
