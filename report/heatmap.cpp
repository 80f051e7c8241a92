#include "report/heatmap.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "report/bitmap_font.h"

namespace orv {

namespace {

constexpr Rgb white{255, 255, 255};
constexpr Rgb black{0, 0, 0};

bool divides(double whole, double step) {
    const double n = whole / step;
    return std::fabs(n - std::round(n)) < 1e-9 * std::max(1.0, n);
}

int decimals_of(double step) {
    int decimals = 0;
    while (decimals < 9 && !divides(step, std::pow(10.0, -decimals))) ++decimals;
    return decimals;
}

}  // namespace

RgbImage make_rgb_image(int width, int height, Rgb fill) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
        image.rgb[i] = fill.r;
        image.rgb[i + 1] = fill.g;
        image.rgb[i + 2] = fill.b;
    }
    return image;
}

void fill_rectangle(RgbImage& image, int x, int y, int width, int height, Rgb colour) {
    const int x0 = std::max(x, 0), x1 = std::min(x + width, image.width);
    const int y0 = std::max(y, 0), y1 = std::min(y + height, image.height);
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(row) * image.width + x0) * 3;
        for (int col = x0; col < x1; ++col, p += 3) {
            p[0] = colour.r;
            p[1] = colour.g;
            p[2] = colour.b;
        }
    }
}

RgbImage frame_picture(const PixelBuffer& frame) {
    RgbImage image = make_rgb_image(frame.width, frame.height, black);
    if (!is_present(frame)) return image;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* src =
            frame.bytes.data() + static_cast<std::size_t>(frame.height - 1 - y) * frame.stride;
        std::uint8_t* dst = image.rgb.data() + static_cast<std::size_t>(y) * frame.width * 3;
        for (int x = 0; x < frame.width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return image;
}

RgbImage shrink_to_width(const RgbImage& image, int max_width) {
    const int factor = max_width > 0 ? (image.width + max_width - 1) / max_width : 1;
    if (factor <= 1) return image;
    const int w = image.width / factor;
    const int h = std::max(image.height / factor, 1);
    RgbImage out = make_rgb_image(w, h, black);
    const int rows = std::min(factor, image.height);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned sum[3] = {0, 0, 0};
            for (int dy = 0; dy < rows; ++dy) {
                const std::uint8_t* p =
                    image.rgb.data() +
                    (static_cast<std::size_t>(y * factor + dy) * image.width + x * factor) * 3;
                for (int dx = 0; dx < factor; ++dx, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const unsigned n = static_cast<unsigned>(rows * factor);
            std::uint8_t* q = out.rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
            for (int c = 0; c < 3; ++c) q[c] = static_cast<std::uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

RgbImage colour_heatmap(const InterleavedImage& map, const HeatmapStyle& style) {
    RgbImage image = make_rgb_image(map.width, map.height, black);
    if (map.data.size() < static_cast<std::size_t>(map.width) * map.height) return image;
    std::array<Rgb, 256> colours;
    for (int i = 0; i < 256; ++i)
        colours[static_cast<std::size_t>(i)] = colour_map_entry(style.colours, i);
    for (int y = 0; y < map.height; ++y) {
        const double* src =
            map.data.data() + static_cast<std::size_t>(map.height - 1 - y) * map.width;
        std::uint8_t* dst = image.rgb.data() + static_cast<std::size_t>(y) * map.width * 3;
        for (int x = 0; x < map.width; ++x) {
            const Rgb c =
                colours[static_cast<std::size_t>(colour_map_index(src[x], style.scale_max))];
            dst[3 * x] = c.r;
            dst[3 * x + 1] = c.g;
            dst[3 * x + 2] = c.b;
        }
    }
    return image;
}

std::vector<double> colour_bar_ticks(double scale_max, int max_intervals) {
    if (!(scale_max > 0.0) || !std::isfinite(scale_max)) return {0.0};
    max_intervals = std::max(max_intervals, 1);
    double chosen = 0.0;
    double fallback = 0.0;  // the smallest step that fits
    for (int e = -6; e <= 12 && chosen == 0.0; ++e) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            const double step = m * std::pow(10.0, e);
            const double intervals = std::floor(scale_max / step + 1e-9);
            if (intervals > max_intervals) continue;
            if (fallback == 0.0) fallback = step;
            if (intervals < 2.0) {
                e = 13;  // larger steps only get coarser
                break;
            }
            if (divides(scale_max, step)) {
                chosen = step;
                break;
            }
        }
    }
    if (chosen == 0.0) chosen = fallback != 0.0 ? fallback : scale_max;
    std::vector<double> ticks;
    const int n = static_cast<int>(std::floor(scale_max / chosen + 1e-9));
    for (int k = 0; k <= n; ++k) ticks.push_back(k * chosen);
    return ticks;
}

std::string tick_label(double value, double step) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals_of(step));
    std::string label(text, end.ptr);
    if (label.find('.') != std::string::npos) {
        while (label.back() == '0') label.pop_back();
        if (label.back() == '.') label.pop_back();
    }
    return label == "-0" ? std::string(1, '0') : label;
}

RgbImage heatmap_with_colour_bar(const InterleavedImage& map, const HeatmapStyle& style) {
    const RgbImage picture = colour_heatmap(map, style);
    const int scale = std::clamp(map.height / 240, 1, 4);
    const int glyph_h = glyph_height * scale;
    const int gap = 6 * scale;
    const int bar_w = 12 * scale;
    const int tick_w = 3 * scale;
    const int canvas_h = std::max(picture.height, 14 * glyph_h);
    const int bar_top = glyph_h / 2 + scale;
    const int bar_bottom = canvas_h - glyph_h / 2 - scale;  // one past the bar's last row
    const int bar_h = bar_bottom - bar_top;

    const std::vector<double> ticks =
        colour_bar_ticks(style.scale_max, std::min(10, bar_h / (2 * glyph_h)));
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : style.scale_max;
    std::vector<std::string> labels;
    int label_w = 0;
    for (double t : ticks) {
        std::string label = tick_label(t, step);
        if (ticks.size() > 1 && divides(style.scale_max, step) && t == ticks.back()) label += "+";
        label_w = std::max(label_w, text_width(label, scale));
        labels.push_back(std::move(label));
    }
    const int bar_x = picture.width + gap;
    const int canvas_w = bar_x + bar_w + tick_w + 2 * scale + label_w + 4 * scale;
    RgbImage canvas = make_rgb_image(canvas_w, canvas_h, white);
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.rgb.data() + static_cast<std::size_t>(y) * picture.width * 3,
                    static_cast<std::size_t>(picture.width) * 3,
                    canvas.rgb.data() + static_cast<std::size_t>(y) * canvas_w * 3);
    }
    // The bar: its bottom row is 0, its top row scale_max.
    for (int row = 0; row < bar_h; ++row) {
        const double value = bar_h > 1 ? style.scale_max * (bar_h - 1 - row) / (bar_h - 1) : 0.0;
        const Rgb c = colour_map_entry(style.colours, colour_map_index(value, style.scale_max));
        fill_rectangle(canvas, bar_x, bar_top + row, bar_w, 1, c);
    }
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const int row =
            bar_top +
            static_cast<int>(std::lround((bar_h - 1) * (1.0 - ticks[k] / style.scale_max)));
        fill_rectangle(canvas, bar_x + bar_w, row, tick_w, scale, black);
        draw_text(canvas, bar_x + bar_w + tick_w + 2 * scale, row - glyph_h / 2, labels[k], scale,
                  black);
    }
    return canvas;
}

}  // namespace orv
