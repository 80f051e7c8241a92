#include "media/yuv_to_rgb.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orv {

namespace {

// 255 * value rounded to nearest and clipped to 0-255 (value already scaled by 255).
inline std::uint8_t to_byte(double scaled) {
    if (!(scaled > 0.0)) return 0;
    if (scaled >= 254.5) return 255;
    return static_cast<std::uint8_t>(scaled + 0.5);
}

inline double clip_scaled(double scaled) { return std::clamp(scaled, 0.0, 255.0); }

// Per-code terms of the formula, scaled by 255, for one depth, matrix and range:
// R = y + cr_r, G = y + cb_g + cr_g, B = y + cb_b.
struct Terms {
    std::vector<double> y, cb_b, cb_g, cr_r, cr_g;
};

Terms make_terms(int depth, const YuvColour& colour, double scale = 255.0) {
    const LumaWeights w = luma_weights(colour.matrix);
    const double kg = 1.0 - w.kr - w.kb;
    const int codes = 1 << depth;
    const double unit = std::ldexp(1.0, depth - 8);  // 2^(n-8)
    const double half = std::ldexp(1.0, depth - 1);  // 2^(n-1)
    const double full_scale = static_cast<double>(codes - 1);
    Terms t;
    t.y.resize(codes);
    t.cb_b.resize(codes);
    t.cb_g.resize(codes);
    t.cr_r.resize(codes);
    t.cr_g.resize(codes);
    for (int code = 0; code < codes; ++code) {
        double ey = 0.0;
        double ep = 0.0;
        if (colour.range == YuvRange::limited) {
            ey = (code - 16.0 * unit) / (219.0 * unit);
            ep = (code - half) / (224.0 * unit);
        } else {
            ey = code / full_scale;
            ep = (code - half) / full_scale;
        }
        // R' = E'Y + 2(1 - Kr) E'Pr; B' = E'Y + 2(1 - Kb) E'Pb;
        // G' = (E'Y - Kr R' - Kb B') / Kg = E'Y - (Kr 2(1 - Kr) E'Pr + Kb 2(1 - Kb) E'Pb) / Kg.
        const double r_from_cr = 2.0 * (1.0 - w.kr) * ep;
        const double b_from_cb = 2.0 * (1.0 - w.kb) * ep;
        t.y[code] = scale * ey;
        t.cr_r[code] = scale * r_from_cr;
        t.cb_b[code] = scale * b_from_cb;
        t.cr_g[code] = -scale * w.kr * r_from_cr / kg;
        t.cb_g[code] = -scale * w.kb * b_from_cb / kg;
    }
    return t;
}

template <class Sample>
void convert_rows(const YuvPlanes& p, const Terms& t, PixelBuffer& out) {
    const int top = (1 << p.depth) - 1;
    const double alpha_scale = 1.0 / top;
    auto code = [top](Sample v) { return std::min<int>(v, top); };
    for (int y = 0; y < p.height; ++y) {
        const auto* luma = reinterpret_cast<const Sample*>(p.planes[0] + y * p.strides[0]);
        const int cy = y >> p.chroma_shift_y;
        const auto* cb = reinterpret_cast<const Sample*>(p.planes[1] + cy * p.strides[1]);
        const auto* cr = reinterpret_cast<const Sample*>(p.planes[2] + cy * p.strides[2]);
        const Sample* alpha =
            p.planes[3] ? reinterpret_cast<const Sample*>(p.planes[3] + y * p.strides[3]) : nullptr;
        std::uint8_t* row = out.bytes.data() + static_cast<std::size_t>(p.height - 1 - y) *
                                                   static_cast<std::size_t>(out.stride);
        for (int x = 0; x < p.width; ++x) {
            const int cx = x >> p.chroma_shift_x;
            const double ey = t.y[code(luma[x])];
            const int b_code = code(cb[cx]);
            const int r_code = code(cr[cx]);
            double r = ey + t.cr_r[r_code];
            double g = ey + t.cb_g[b_code] + t.cr_g[r_code];
            double b = ey + t.cb_b[b_code];
            if (alpha != nullptr) {
                const double a = code(alpha[x]) * alpha_scale;
                r = clip_scaled(r) * a;
                g = clip_scaled(g) * a;
                b = clip_scaled(b) * a;
            }
            row[3 * x] = to_byte(b);
            row[3 * x + 1] = to_byte(g);
            row[3 * x + 2] = to_byte(r);
        }
    }
}

// The same formula unrounded (terms of scale 1), each value clipped to [0, 1].
template <class Sample>
void signal_rows(const YuvPlanes& p, const Terms& t, SignalFrame& out) {
    const int top = (1 << p.depth) - 1;
    const double alpha_scale = 1.0 / top;
    auto code = [top](Sample v) { return std::min<int>(v, top); };
    auto clip = [](double v) { return std::clamp(v, 0.0, 1.0); };
    for (int y = 0; y < p.height; ++y) {
        const auto* luma = reinterpret_cast<const Sample*>(p.planes[0] + y * p.strides[0]);
        const int cy = y >> p.chroma_shift_y;
        const auto* cb = reinterpret_cast<const Sample*>(p.planes[1] + cy * p.strides[1]);
        const auto* cr = reinterpret_cast<const Sample*>(p.planes[2] + cy * p.strides[2]);
        const Sample* alpha =
            p.planes[3] ? reinterpret_cast<const Sample*>(p.planes[3] + y * p.strides[3]) : nullptr;
        double* row = out.rgb.data() + 3 * static_cast<std::size_t>(p.height - 1 - y) *
                                           static_cast<std::size_t>(p.width);
        for (int x = 0; x < p.width; ++x) {
            const int cx = x >> p.chroma_shift_x;
            const double ey = t.y[code(luma[x])];
            const int b_code = code(cb[cx]);
            const int r_code = code(cr[cx]);
            const double a = alpha != nullptr ? code(alpha[x]) * alpha_scale : 1.0;
            row[3 * x] = clip(ey + t.cr_r[r_code]) * a;
            row[3 * x + 1] = clip(ey + t.cb_g[b_code] + t.cr_g[r_code]) * a;
            row[3 * x + 2] = clip(ey + t.cb_b[b_code]) * a;
        }
    }
}

}  // namespace

void convert_yuv_to_signal(const YuvPlanes& planes, const YuvColour& colour, SignalFrame& out) {
    out = make_signal_frame(planes.width, planes.height);
    const Terms terms = make_terms(planes.depth, colour, 1.0);
    if (planes.depth <= 8) {
        signal_rows<std::uint8_t>(planes, terms, out);
    } else {
        signal_rows<std::uint16_t>(planes, terms, out);
    }
}

void convert_rgba64_to_signal(const std::uint16_t* pixels, std::ptrdiff_t stride_words, int width,
                              int height, SignalFrame& out) {
    out = make_signal_frame(width, height);
    constexpr double scale = 1.0 / (65535.0 * 65535.0);
    for (int y = 0; y < height; ++y) {
        const std::uint16_t* in = pixels + y * stride_words;
        double* row = out.rgb.data() + 3 * static_cast<std::size_t>(height - 1 - y) *
                                           static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const std::uint16_t* p = in + 4 * x;
            // Composited on black: value * alpha / 65535^2 (alpha 65535 leaves value / 65535).
            for (int c = 0; c < 3; ++c) row[3 * x + c] = p[c] * (p[3] * scale);
        }
    }
}

const char* matrix_name(YuvMatrix matrix) {
    switch (matrix) {
        case YuvMatrix::bt601:
            return "BT.601";
        case YuvMatrix::bt709:
            return "BT.709";
        case YuvMatrix::bt2020:
            return "BT.2020";
    }
    return "?";
}

const char* range_name(YuvRange range) { return range == YuvRange::limited ? "limited" : "full"; }

LumaWeights luma_weights(YuvMatrix matrix) {
    switch (matrix) {
        case YuvMatrix::bt601:
            return {0.299, 0.114};
        case YuvMatrix::bt709:
            return {0.2126, 0.0722};
        case YuvMatrix::bt2020:
            return {0.2627, 0.0593};
    }
    return {0.299, 0.114};
}

void convert_yuv_to_bgr(const YuvPlanes& planes, const YuvColour& colour, PixelBuffer& out) {
    const Terms terms = make_terms(planes.depth, colour);
    if (planes.depth <= 8) {
        convert_rows<std::uint8_t>(planes, terms, out);
    } else {
        convert_rows<std::uint16_t>(planes, terms, out);
    }
}

void convert_rgba64_to_bgr(const std::uint16_t* pixels, std::ptrdiff_t stride_words, int width,
                           int height, PixelBuffer& out) {
    constexpr std::uint64_t divisor = 65535ULL * 257ULL;
    auto to8 = [](std::uint64_t value, std::uint64_t alpha) {
        return static_cast<std::uint8_t>((value * alpha + divisor / 2) / divisor);
    };
    for (int y = 0; y < height; ++y) {
        const std::uint16_t* in = pixels + y * stride_words;
        std::uint8_t* row = out.bytes.data() + static_cast<std::size_t>(height - 1 - y) *
                                                   static_cast<std::size_t>(out.stride);
        for (int x = 0; x < width; ++x) {
            const std::uint16_t* p = in + 4 * x;
            row[3 * x] = to8(p[2], p[3]);
            row[3 * x + 1] = to8(p[1], p[3]);
            row[3 * x + 2] = to8(p[0], p[3]);
        }
    }
}

}  // namespace orv
