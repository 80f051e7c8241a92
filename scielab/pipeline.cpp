#include "scielab/pipeline.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "colour/conversions.h"
#include "colour/display_rows.h"
#include "colour/profile_files.h"
#include "image/spill_memory.h"
#include "numeric/arrays.h"
#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/fft.h"
#include "numeric/parallel.h"
#include "scielab/colour_rows.h"
#include "scielab/conditions.h"
#include "scielab/grey_picture.h"
#include "scielab/plane_memory.h"
#include "scielab/real_plane_filter.h"
#include "scielab/signal_planes.h"
#include "scielab/viewing_geometry.h"

namespace orv {

namespace {

// The viewing geometry: a 1920 x 1080 display of diagonal 14.0 at a distance factor of 0.04.
using namespace viewing;

// Rejects a destination that exists but has another geometry; makes an empty one.
void prepare_output(PixelBuffer& output, const PixelBuffer& like, const char* what) {
    if (!is_present(output)) {
        output = make_pixel_buffer(like.width, like.height);
        return;
    }
    check_pixel_buffer(output, what);
    if (output.width != like.width || output.height != like.height) {
        raise_failure(FailureKind::output_buffer_mismatch, {},
                      {what, std::to_string(output.width), std::to_string(output.height),
                       std::to_string(like.width), std::to_string(like.height)});
    }
}

// The spectrum Z of x + i y (x, y real planes) carries X(k) = (Z(k) + conj Z(-k)) / 2 and
// Y(k) = (Z(k) - conj Z(-k)) / 2i. Weighting X by wx and Y by wy and recombining gives the
// spectrum of filtered x + i filtered y; the weights are equal at k and -k, so each pair of
// samples is handled together.
// Compiled for AVX2 as well, picked at load time (the same operations in the same order, so
// the same doubles): the loop over a pair of distinct rows runs four pairs at a time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void weight_two_real_spectra(double* re, double* im, const RadialBins& bins,
                             const double* response_x, const double* response_y) {
    const int w = bins.width;
    const int h = bins.height;
    std::vector<std::int32_t> bin_row(static_cast<std::size_t>(w));
    std::vector<double> wx(static_cast<std::size_t>(w));
    std::vector<double> wy(static_cast<std::size_t>(w));
    for (int q = 0; q < h; ++q) {
        const int q2 = (h - q) % h;
        if (q2 < q) continue;
        bins.row(bins.fy2[static_cast<std::size_t>(q)], bin_row.data());
        // The weights looked up first, so that the loop over the pairs has no indexed loads.
        double* x = wx.data();
        double* y = wy.data();
        for (int p = 0; p < w; ++p) {
            x[p] = response_x[bin_row[static_cast<std::size_t>(p)]];
            y[p] = response_y[bin_row[static_cast<std::size_t>(p)]];
        }
        double* ri = re + static_cast<std::size_t>(q) * w;
        double* ii = im + static_cast<std::size_t>(q) * w;
        double* rj = re + static_cast<std::size_t>(q2) * w;
        double* ij = im + static_cast<std::size_t>(q2) * w;
        // Index p of row q with index p2 = (w - p) mod w of row q2; a row that is its own
        // mirror takes each pair once, the lower index first.
        const auto pair = [&](int p, int p2) {
            const double a = ri[p], b = ii[p], c = rj[p2], d = ij[p2];
            const double xr = 0.5 * (a + c), xi = 0.5 * (b - d);  // X(k)
            const double yr = 0.5 * (a - c), yi = 0.5 * (b + d);  // i Y(k)
            ri[p] = x[p] * xr + y[p] * yr;
            ii[p] = x[p] * xi + y[p] * yi;
            rj[p2] = x[p] * xr - y[p] * yr;
            ij[p2] = y[p] * yi - x[p] * xi;
        };
        pair(0, 0);
        if (q2 == q) {
            for (int p = 1; p <= w - p; ++p) pair(p, w - p);
            continue;
        }
        for (int p = 1; p < w; ++p) {
            const double a = ri[p], b = ii[p], c = rj[w - p], d = ij[w - p];
            const double xr = 0.5 * (a + c), xi = 0.5 * (b - d);
            const double yr = 0.5 * (a - c), yi = 0.5 * (b + d);
            ri[p] = x[p] * xr + y[p] * yr;
            ii[p] = x[p] * xi + y[p] * yi;
            rj[w - p] = x[p] * xr - y[p] * yr;
            ij[w - p] = y[p] * yi - x[p] * xi;
        }
    }
}

// Filters one real plane of even height through a complex transform of half the height:
// the even rows travel as the real part and the odd rows as the imaginary part. The full
// spectrum is D(kx, ky) = (E + t O) / 2 and D(kx, ky + H/2) = (E - t O) / 2 with E and O the
// spectra of the even and the odd rows and t = exp(2 pi i ky / H); after weighting, the even
// and odd rows of the filtered plane have the spectra P + Q and (P - Q) conj(t).
// `even` and `odd` hold rows 0, 2, 4 ... and 1, 3, 5 ... of the plane and are filtered in place.
// Compiled for AVX2 as well, picked at load time (the same operations in the same order, so
// the same doubles): the loop over a pair of distinct rows runs four pairs at a time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
[[gnu::target_clones("avx2", "default")]]
#endif
void filter_real_plane_by_halves(double* even, double* odd, const RadialBins& bins,
                                 const double* response) {
    const int w = bins.width;
    const int half = bins.height / 2;
    fft_2d(even, odd, 1, w, half);
    constexpr double two_pi = 6.283185307179586;
    std::vector<std::int32_t> bins_low(static_cast<std::size_t>(w));
    std::vector<std::int32_t> bins_high(static_cast<std::size_t>(w));
    std::vector<double> w_low(static_cast<std::size_t>(w));
    std::vector<double> w_high(static_cast<std::size_t>(w));
    for (int q = 0; q < half; ++q) {
        const int q2 = (half - q) % half;
        if (q2 < q) continue;
        const double angle = two_pi * q / bins.height;
        const double tc = std::cos(angle);
        const double ts = std::sin(angle);
        bins.row(bins.fy2[static_cast<std::size_t>(q)], bins_low.data());
        bins.row(bins.fy2[static_cast<std::size_t>(q + half)], bins_high.data());
        // The weights looked up first, so that the loop over the pairs has no indexed loads.
        double* w1 = w_low.data();
        double* w2 = w_high.data();
        for (int p = 0; p < w; ++p) {
            w1[p] = 0.5 * response[bins_low[static_cast<std::size_t>(p)]];
            w2[p] = 0.5 * response[bins_high[static_cast<std::size_t>(p)]];
        }
        double* ei = even + static_cast<std::size_t>(q) * w;
        double* oi = odd + static_cast<std::size_t>(q) * w;
        double* ej = even + static_cast<std::size_t>(q2) * w;
        double* oj = odd + static_cast<std::size_t>(q2) * w;
        // Index p of row q with index p2 = (w - p) mod w of row q2; a row that is its own
        // mirror takes each pair once, the lower index first.
        const auto pair = [&](int p, int p2) {
            const double a = ei[p], b = oi[p], c = ej[p2], d = oj[p2];
            const double er = 0.5 * (a + c), e_i = 0.5 * (b - d);   // E(k)
            const double orr = 0.5 * (b + d), o_i = 0.5 * (c - a);  // O(k)
            const double tor = tc * orr - ts * o_i;                 // t O
            const double toi = tc * o_i + ts * orr;
            const double pr = w1[p] * (er + tor), pi = w1[p] * (e_i + toi);
            const double qr = w2[p] * (er - tor), qi = w2[p] * (e_i - toi);
            const double e2r = pr + qr, e2i = pi + qi;  // spectrum of the filtered even rows
            const double dr = pr - qr, di = pi - qi;
            const double o2r = dr * tc + di * ts;  // (P - Q) conj(t): the odd rows
            const double o2i = di * tc - dr * ts;
            ej[p2] = e2r + o2i;
            oj[p2] = o2r - e2i;
            ei[p] = e2r - o2i;
            oi[p] = e2i + o2r;
        };
        pair(0, 0);
        if (q2 == q) {
            for (int p = 1; p <= w - p; ++p) pair(p, w - p);
            continue;
        }
        for (int p = 1; p < w; ++p) {
            const double a = ei[p], b = oi[p], c = ej[w - p], d = oj[w - p];
            const double er = 0.5 * (a + c), e_i = 0.5 * (b - d);
            const double orr = 0.5 * (b + d), o_i = 0.5 * (c - a);
            const double tor = tc * orr - ts * o_i;
            const double toi = tc * o_i + ts * orr;
            const double pr = w1[p] * (er + tor), pi = w1[p] * (e_i + toi);
            const double qr = w2[p] * (er - tor), qi = w2[p] * (e_i - toi);
            const double e2r = pr + qr, e2i = pi + qi;
            const double dr = pr - qr, di = pi - qi;
            const double o2r = dr * tc + di * ts;
            const double o2i = di * tc - dr * ts;
            ej[w - p] = e2r + o2i;
            oj[w - p] = o2r - e2i;
            ei[p] = e2r - o2i;
            oi[p] = e2i + o2r;
        }
    }
    fft_2d(even, odd, -1, w, half);
}

// The three opponent planes of one frame, filtered. A and T travel as one complex plane; D
// is filtered by halves when the height is even, else through a real-input transform in its
// own (slightly larger) block.
struct FilteredFrame {
    int width = 0;
    int height = 0;
    Plane a, t, d;
    bool d_by_halves = false;

    const double* a_row(int y) const { return a.get() + static_cast<std::size_t>(y) * width; }
    const double* t_row(int y) const { return t.get() + static_cast<std::size_t>(y) * width; }
    double* d_row(int y) const {
        if (!d_by_halves) return d.get() + static_cast<std::size_t>(y) * width;
        const std::size_t half = static_cast<std::size_t>(height / 2) * width;
        return d.get() + (y % 2 == 0 ? 0 : half) + static_cast<std::size_t>(y / 2) * width;
    }
};

// Makes the planes of a frame of w x h: A and T row-major, D row-major or by halves. A is
// `a_storage` when given (w x h doubles), else a plane of its own.
FilteredFrame new_frame_planes(int w, int h, double* a_storage = nullptr) {
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    FilteredFrame f;
    f.width = w;
    f.height = h;
    f.a = a_storage != nullptr ? borrowed_plane(a_storage) : new_plane(count);
    f.t = new_plane(count);
    f.d_by_halves = h % 2 == 0;
    f.d = new_plane(f.d_by_halves ? count : std::max(count, real_plane_block(w, h)));
    return f;
}

// The frequency-domain filtering of the three opponent planes, in place.
void filter_opponent_planes(FilteredFrame& f, const ChannelFilter& fa, const ChannelFilter& ft,
                            const ChannelFilter& fd, double sample_angle, double pixel_angle) {
    const int w = f.width;
    const int h = f.height;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const RadialBins bins(w, h, fa.length, sample_angle, pixel_angle);
    const auto centre = static_cast<std::size_t>(fa.half_width);
    // A with T and D are independent: side by side when a core is spare.
    const auto filter_a_and_t = [&] {
        fft_2d(f.a.get(), f.t.get(), 1, w, h);
        weight_two_real_spectra(f.a.get(), f.t.get(), bins, fa.response.data() + centre,
                                ft.response.data() + centre);
        fft_2d(f.a.get(), f.t.get(), -1, w, h);
    };
    const auto filter_d = [&] {
        if (f.d_by_halves) {
            filter_real_plane_by_halves(f.d.get(), f.d.get() + count / 2, bins,
                                        fd.response.data() + centre);
        } else {
            filter_real_plane(f.d.get(), bins, fd.response.data() + centre);
        }
    };
    run_side_by_side(filter_a_and_t, filter_d);
}

// A frame's filtered planes in memory, or parked in a temporary file (planes A, T and D one
// after the other, each row-major) while other work needs the memory.
struct KeptFrame {
    FilteredFrame planes;
    ParkingFile parked;
};

// Moves the planes into a parking file; leaves them in memory when no file can be written.
void park(KeptFrame& kept) {
    FilteredFrame& f = kept.planes;
    ParkingFile file = open_parking_file();
    if (!file.is_open()) return;
    const std::size_t row = static_cast<std::size_t>(f.width) * sizeof(double);
    const std::size_t plane = row * static_cast<std::size_t>(f.height);
    bool written = write_parked_released(file, f.a.get(), plane, 0) &&
                   write_parked_released(file, f.t.get(), plane, plane);
    // D's rows are not one block: released about 4 MiB at a time.
    std::size_t unreleased = 2 * plane;
    for (int y = 0; written && y < f.height; ++y) {
        const std::size_t at = 2 * plane + static_cast<std::size_t>(y) * row;
        written = write_parked(file, f.d_row(y), row, at);
        if (written && (at + row - unreleased >= (std::size_t{4} << 20) || y + 1 == f.height)) {
            release_parked(file, at + row - unreleased, unreleased);
            unreleased = at + row;
        }
    }
    if (!written) return;
    kept.parked = std::move(file);
    f.a.reset();
    f.t.reset();
    f.d.reset();
}

// Rows of the difference map: both frames' opponent values to CIELAB (or ICtCp, each side
// through its own colour model), then the colour difference of each pixel pair. Parked
// reference rows are read back a block at a time.
void difference_rows(const MeasurementConditions& c, const KeptFrame& kept, const FilteredFrame& fd,
                     int first, int last, double* map) {
    const DeltaEFormula formula = c.formula;
    const ColourModel& rc = c.colour;
    const ColourModel& dc = side_colour(c, Side::degraded);
    const double white_r = white_luminance(rc.display);
    const double white_d = white_luminance(dc.display);
    const int w = fd.width;
    const auto row = static_cast<std::size_t>(w);
    std::vector<double> lab_ref(3 * row);
    std::vector<double> lab_deg(3 * row);
    const FilteredFrame& fr = kept.planes;
    const bool parked = kept.parked.is_open();
    const int block_rows = parked ? std::max(1, (1 << 17) / w) : last - first;
    std::vector<double> block(parked ? 3 * row * static_cast<std::size_t>(block_rows) : 0);
    for (int top = first; top < last; top += block_rows) {
        const int rows = std::min(block_rows, last - top);
        const std::size_t span = row * static_cast<std::size_t>(rows);
        if (parked) {
            const std::size_t plane = row * static_cast<std::size_t>(fd.height) * sizeof(double);
            const std::size_t at = row * static_cast<std::size_t>(top) * sizeof(double);
            for (std::size_t p = 0; p < 3; ++p) {
                if (!read_parked(kept.parked, block.data() + p * span, span * sizeof(double),
                                 p * plane + at)) {
                    raise_failure(FailureKind::spill_read_back);
                }
                release_parked(kept.parked, span * sizeof(double), p * plane + at);
            }
        }
        for (int y = top; y < top + rows; ++y) {
            const std::size_t in_block = static_cast<std::size_t>(y - top) * row;
            const double* a = parked ? block.data() + in_block : fr.a_row(y);
            const double* t = parked ? block.data() + span + in_block : fr.t_row(y);
            const double* d = parked ? block.data() + 2 * span + in_block : fr.d_row(y);
            double* out = map + static_cast<std::size_t>(y) * row;
            colour_row(formula, rc, white_r, w, a, t, d, lab_ref.data());
            colour_row(formula, dc, white_d, w, fd.a_row(y), fd.t_row(y), fd.d_row(y),
                       lab_deg.data());
            difference_row(formula, lab_ref.data(), lab_deg.data(), row, out);
        }
    }
}

// Calls rows(first, last) for the rows of a frame of `height`, in two halves side by side
// when a core is spare. For per-row work whose rows are independent.
template <class Rows>
void split_rows(int height, const Rows& rows) {
    const int middle = height / 2;
    run_side_by_side([&] { rows(0, middle); }, [&] { rows(middle, height); });
}

// The opponent planes of one side's frame, through that side's colour model, filtered.
FilteredFrame filter_frame_planes(const PixelBuffer& source, const MeasurementConditions& c,
                                  Side side, double* a_storage = nullptr,
                                  const SignalFrame* signal = nullptr) {
    const ColourModel& colour = side_colour(c, side);
    const ChannelFilter& fa = c.filters.a;
    const ChannelFilter& ft = c.filters.t;
    const ChannelFilter& fd = c.filters.d;
    const int w = source.width;
    const int h = source.height;
    FilteredFrame f = new_frame_planes(w, h, a_storage);
    {
        std::vector<double*> rows(3 * static_cast<std::size_t>(h));
        for (int y = 0; y < h; ++y) {
            rows[static_cast<std::size_t>(y)] = f.a.get() + static_cast<std::size_t>(y) * w;
            rows[static_cast<std::size_t>(h + y)] = f.t.get() + static_cast<std::size_t>(y) * w;
            rows[static_cast<std::size_t>(2 * h + y)] = f.d_row(y);
        }
        if (signal != nullptr && signal->present()) {
            signal_to_plane_rows(*signal, colour, rows.data(), rows.data() + h,
                                 rows.data() + 2 * h);
        } else if (colour.display.transfer == DisplayTransfer::hlg) {
            hlg_display_to_plane_rows(source, colour.display_table, colour.transfer,
                                      colour.rgb_to_atd, rows.data(), rows.data() + h,
                                      rows.data() + 2 * h);
        } else {
            display_to_plane_rows(source, colour.display_table, colour.rgb_to_atd, rows.data(),
                                  rows.data() + h, rows.data() + 2 * h);
        }
    }
    filter_opponent_planes(f, fa, ft, fd, c.sample_angle, c.viewing.pixel_angle_degrees);
    return f;
}

}  // namespace

double pixel_angle_degrees() {
    return std::atan(display_diagonal /
                     std::sqrt(display_width_pixels * display_width_pixels +
                               display_height_pixels * display_height_pixels) *
                     distance_factor) *
           degrees_per_radian;
}

int frequency_bin(int u, int v, int width, int height, int response_length, double sample_angle,
                  double pixel_angle) {
    const double theta = pixel_angle;
    const double fy = v / (height * theta);
    const double fx = u / (width * theta);
    const double r = std::sqrt(fx * fx + fy * fy);
    return static_cast<int>(round_to_int(r * response_length * sample_angle * frequency_to_bin));
}

void filter_atd_planes(PlanarImage& image, const ChannelFilter& a, const ChannelFilter& t,
                       const ChannelFilter& d, double sample_angle, double pixel_angle) {
    MeasurementConditions c;
    c.filters = {a, t, d};
    c.sample_angle = sample_angle;
    c.viewing.pixel_angle_degrees = pixel_angle;
    check_conditions(c);
    check_planar_image(image, "ATD");
    const int w = image.width;
    const int h = image.height;
    FilteredFrame f = new_frame_planes(w, h);
    const auto row_length = static_cast<std::size_t>(w);
    for (int y = 0; y < h; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * row_length;
        std::copy_n(image.planes[0].data() + at, row_length, f.a.get() + at);
        std::copy_n(image.planes[1].data() + at, row_length, f.t.get() + at);
        std::copy_n(image.planes[2].data() + at, row_length, f.d_row(y));
    }
    filter_opponent_planes(f, a, t, d, sample_angle, pixel_angle);
    for (int y = 0; y < h; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * row_length;
        std::copy_n(f.a_row(y), row_length, image.planes[0].data() + at);
        std::copy_n(f.t_row(y), row_length, image.planes[1].data() + at);
        std::copy_n(f.d_row(y), row_length, image.planes[2].data() + at);
    }
}

void scielab_filter_frame(const PixelBuffer& source, PixelBuffer& destination,
                          const MeasurementConditions& conditions, const SignalFrame* signal) {
    if (!is_present(source)) return;
    check_conditions(conditions);
    check_pixel_buffer(source, "source");
    check_signal(signal, source);
    prepare_output(destination, source, "destination");
    const FilteredFrame f =
        filter_frame_planes(source, conditions, Side::reference, nullptr, signal);
    const auto h = static_cast<std::size_t>(f.height);
    std::vector<const double*> rows(3 * h);
    for (int y = 0; y < f.height; ++y) {
        rows[static_cast<std::size_t>(y)] = f.a_row(y);
        rows[h + static_cast<std::size_t>(y)] = f.t_row(y);
        rows[2 * h + static_cast<std::size_t>(y)] = f.d_row(y);
    }
    if (conditions.colour.display.transfer != DisplayTransfer::profile) {
        plane_rows_to_signal_bytes(destination, rows.data(), rows.data() + h, rows.data() + 2 * h,
                                   conditions.colour.transfer, conditions.colour.atd_to_rgb);
        return;
    }
    plane_rows_to_display(destination, rows.data(), rows.data() + h, rows.data() + 2 * h,
                          conditions.colour.display_model, conditions.colour.atd_to_rgb);
}

InterleavedImage scielab_lab_image(const PixelBuffer& source,
                                   const MeasurementConditions& conditions) {
    check_conditions(conditions);
    check_pixel_buffer(source, "source");
    const FilteredFrame f = filter_frame_planes(source, conditions, Side::reference);
    InterleavedImage lab;
    lab.width = source.width;
    lab.height = source.height;
    lab.channels = 3;
    lab.data.resize(3 * static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height));
    for (int y = 0; y < f.height; ++y) {
        atd_row_to_lab(conditions.colour.atd_to_xyz, f.width, f.a_row(y), f.t_row(y), f.d_row(y),
                       lab.data.data() + 3 * static_cast<std::size_t>(y) * f.width);
    }
    return lab;
}

InterleavedImage difference_map(const PixelBuffer& reference, const PixelBuffer& degraded,
                                const MeasurementConditions& conditions, PixelBuffer* grey,
                                const PairStorage& storage, const SignalFrame* reference_signal,
                                const SignalFrame* degraded_signal) {
    check_conditions(conditions);
    check_pixel_buffer(reference, "reference");
    check_pixel_buffer(degraded, "degraded");
    check_signal(reference_signal, reference);
    check_signal(degraded_signal, degraded);
    if (reference.width != degraded.width || reference.height != degraded.height) {
        raise_failure(FailureKind::frame_sizes_differ, {},
                      {std::to_string(reference.width), std::to_string(reference.height),
                       std::to_string(degraded.width), std::to_string(degraded.height)});
    }
    // A missing grey picture is made at the end, once the planes are gone.
    if (grey != nullptr && is_present(*grey)) prepare_output(*grey, reference, "output");
    const int w = reference.width;
    const int h = reference.height;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);

    // Each frame is filtered on its own, so identical frames take identical arithmetic and
    // their difference is exactly 0. Where the planes are kept changes no value.
    InterleavedImage diff;
    diff.width = w;
    diff.height = h;
    diff.channels = 1;
    KeptFrame fr;
    FilteredFrame fd;
    std::atomic<bool> degraded_started{false};
    const auto filter_reference = [&] {
        fr.planes =
            filter_frame_planes(reference, conditions, Side::reference, nullptr, reference_signal);
        if (storage.reference_read) storage.reference_read();
        // Filtered one after the other, the degraded frame comes next: with the reference's
        // planes parked meanwhile, memory holds one frame's planes instead of two.
        if (count >= storage.park_pixels && !degraded_started.load()) park(fr);
    };
    // The degraded frame's A plane is the result's own array: the map is written over it
    // (row y of A is read in full before row y of the map is written), so no copy is made.
    const auto filter_degraded = [&] {
        degraded_started.store(true);
        diff.data.resize(count);
        fd = filter_frame_planes(degraded, conditions, Side::degraded, diff.data.data(),
                                 degraded_signal);
        if (storage.degraded_read) storage.degraded_read();
    };
    if (count >= storage.serial_pixels) {
        filter_reference();
        filter_degraded();
    } else {
        run_side_by_side(filter_reference, filter_degraded);
    }
    double* map = diff.data.data();
    split_rows(h,
               [&](int first, int last) { difference_rows(conditions, fr, fd, first, last, map); });
    fd = FilteredFrame{};
    fr = KeptFrame{};
    // The mean, maximum and minimum in pixel order, whatever the split: the same sums for any
    // thread count. They are the map's own figures, and the grey picture's range.
    summarise_map(diff);
    if (grey != nullptr) {
        if (!is_present(*grey)) *grey = make_pixel_buffer(w, h);  // a present one was checked
        grey_between(diff.data.data(), diff.min, diff.max, *grey);
    }
    return diff;
}

ReferenceColours reference_colours(const PixelBuffer& reference,
                                   const MeasurementConditions& conditions,
                                   const SignalFrame* signal) {
    check_conditions(conditions);
    check_pixel_buffer(reference, "reference");
    check_signal(signal, reference);
    const FilteredFrame f =
        filter_frame_planes(reference, conditions, Side::reference, nullptr, signal);
    ReferenceColours colours;
    colours.width = f.width;
    colours.height = f.height;
    const auto row = 3 * static_cast<std::size_t>(f.width);
    colours.block_rows = static_cast<int>(std::max<std::size_t>(1, (std::size_t{1} << 21) / row));
    const double white = white_luminance(conditions.colour.display);
    for (int y = 0; y < f.height; ++y) {
        if (y % colours.block_rows == 0) {
            const int rows = std::min(colours.block_rows, f.height - y);
            colours.blocks.emplace_back(row * static_cast<std::size_t>(rows));
        }
        colour_row(conditions.formula, conditions.colour, white, f.width, f.a_row(y), f.t_row(y),
                   f.d_row(y), colours.row(y));
    }
    return colours;
}

InterleavedImage difference_map_against(const ReferenceColours& reference,
                                        const PixelBuffer& degraded,
                                        const MeasurementConditions& conditions,
                                        const SignalFrame* degraded_signal) {
    check_conditions(conditions);
    check_pixel_buffer(degraded, "degraded");
    check_signal(degraded_signal, degraded);
    if (reference.width != degraded.width || reference.height != degraded.height) {
        raise_failure(FailureKind::frame_sizes_differ, {},
                      {std::to_string(reference.width), std::to_string(reference.height),
                       std::to_string(degraded.width), std::to_string(degraded.height)});
    }
    const int w = degraded.width;
    const auto row = static_cast<std::size_t>(w);
    InterleavedImage diff;
    diff.width = w;
    diff.height = degraded.height;
    diff.channels = 1;
    diff.data.resize(row * static_cast<std::size_t>(degraded.height));
    // As in difference_map, the degraded frame's A plane is the map's own array.
    const FilteredFrame fd = filter_frame_planes(degraded, conditions, Side::degraded,
                                                 diff.data.data(), degraded_signal);
    const ColourModel& colour = side_colour(conditions, Side::degraded);
    const double white = white_luminance(colour.display);
    split_rows(fd.height, [&](int first, int last) {
        std::vector<double> own(3 * row);
        for (int y = first; y < last; ++y) {
            colour_row(conditions.formula, colour, white, w, fd.a_row(y), fd.t_row(y), fd.d_row(y),
                       own.data());
            difference_row(conditions.formula, reference.row(y), own.data(), row,
                           diff.data.data() + static_cast<std::size_t>(y) * row);
        }
    });
    summarise_map(diff);
    return diff;
}

int make_difference_image(const PixelBuffer& reference, const PixelBuffer& degraded,
                          PixelBuffer& output, const MeasurementConditions& conditions,
                          InterleavedImage& result, const PairStorage& storage) {
    if (!is_present(reference) || !is_present(degraded)) return 0;
    result = difference_map(reference, degraded, conditions, &output, storage);
    return 1;
}

void scale_to_grey(const double* values, std::size_t count, PixelBuffer& output) {
    check_pixel_buffer(output, "grey picture");
    const int w = output.width;
    const int h = output.height;
    if (count != static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
        raise_failure(FailureKind::grey_picture_mismatch, {},
                      {std::to_string(w), std::to_string(h), std::to_string(count)});
    }
    double max = -10000.0;
    double min = 10000.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (max < values[i]) max = values[i];
        if (min > values[i]) min = values[i];
    }
    grey_between(values, min, max, output);
}

}  // namespace orv
