#include "scielab/pipeline.h"

#include <cmath>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/arrays.h"
#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/fft.h"

namespace orv {

namespace {

// The viewing geometry: a 1920 x 1080 display of diagonal 14.0 at a distance factor of 0.04.
constexpr double display_width_pixels = 1920.0;
constexpr double display_height_pixels = 1080.0;
constexpr double display_diagonal = 14.0;
constexpr double distance_factor = 0.04;
constexpr double degrees_per_radian = 57.29577951307855;
constexpr double frequency_to_bin = 0.5;

// Everything one front end needs from the profile folder, read once per call.
struct Profile {
    GogParameters gog;
    Matrix3 rgb_to_atd{};
    Matrix3 atd_to_rgb{};
    Matrix3 atd_to_xyz{};
};

Profile read_profile(const std::string& folder, bool for_display, bool for_lab) {
    Profile p;
    p.gog = read_display_model(profile_path(folder, "DISPGOG_parameter.txt"));
    p.rgb_to_atd = load_rgb_to_atd(folder);
    if (for_display) p.atd_to_rgb = invert_matrix3(p.rgb_to_atd);
    if (for_lab) p.atd_to_xyz = invert_matrix3(load_xyz_to_atd(folder));
    return p;
}

void require_finished(const ChannelFilter& a, const ChannelFilter& t, const ChannelFilter& d,
                      double sample_angle) {
    if (!filters_finished(a, t, d)) {
        raise_failure("The ATD filters are not ready: load and apply the filter settings first.");
    }
    if (!std::isfinite(sample_angle) || !(sample_angle > 0.0)) {
        raise_failure("The kernel sample angle must be a positive number.");
    }
    // The highest frequency of any frame lies at the corner of the spectrum; its bin must
    // stay inside the responses.
    const double corner = std::sqrt(2.0) * 0.5 / pixel_angle_degrees();
    const std::int64_t k = round_to_int(corner * a.length * sample_angle * frequency_to_bin);
    if (k > a.half_width) {
        raise_failure("The kernel sample angle is too large for the ATD filters.");
    }
}

// Rejects a destination that exists but has another geometry; makes an empty one.
void prepare_output(PixelBuffer& output, const PixelBuffer& like, const char* what) {
    if (!is_present(output)) {
        output = make_pixel_buffer(like.width, like.height);
        return;
    }
    check_pixel_buffer(output, what);
    if (output.width != like.width || output.height != like.height) {
        raise_failure(std::string("The ") + what + " buffer (" + std::to_string(output.width) +
                      " x " + std::to_string(output.height) + ") does not match the frame (" +
                      std::to_string(like.width) + " x " + std::to_string(like.height) + ").");
    }
}

PlanarImage filtered_planes(const PixelBuffer& source, const ChannelFilter& a,
                            const ChannelFilter& t, const ChannelFilter& d, double sample_angle,
                            const Profile& profile) {
    PlanarImage image = display_to_planes(source, profile.gog, profile.rgb_to_atd);
    filter_atd_planes(image, a, t, d, sample_angle);
    return image;
}

}  // namespace

double pixel_angle_degrees() {
    return std::atan(display_diagonal /
                     std::sqrt(display_width_pixels * display_width_pixels +
                               display_height_pixels * display_height_pixels) *
                     distance_factor) *
           degrees_per_radian;
}

int frequency_bin(int u, int v, int width, int height, int response_length, double sample_angle) {
    const double theta = pixel_angle_degrees();
    const double fy = v / (height * theta);
    const double fx = u / (width * theta);
    const double r = std::sqrt(fx * fx + fy * fy);
    return static_cast<int>(round_to_int(r * response_length * sample_angle * frequency_to_bin));
}

void filter_atd_planes(PlanarImage& image, const ChannelFilter& a, const ChannelFilter& t,
                       const ChannelFilter& d, double sample_angle) {
    const int w = image.width;
    const int h = image.height;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    for (const auto& plane : image.planes) {
        if (plane.size() != count) raise_failure("The ATD planes do not match the image size.");
    }
    std::array<std::vector<double>, 3> imaginary;
    for (auto& plane : imaginary) plane.assign(count, 0.0);
    for (int c = 0; c < 3; ++c) {
        fft_2d(image.planes[c].data(), imaginary[c].data(), 1, w, h);
    }
    for (int c = 0; c < 3; ++c) shift_quadrants_2d(image.planes[c].data(), w, h);
    for (int c = 0; c < 3; ++c) shift_quadrants_2d(imaginary[c].data(), w, h);

    const double theta = pixel_angle_degrees();
    const int n_a = a.length;
    const int h_a = a.half_width;
    const double* responses[3] = {a.response.data(), t.response.data(), d.response.data()};
    for (int v = -(h / 2); v <= (h + 1) / 2 - 1; ++v) {
        const double fy = v / (h * theta);
        const std::size_t row = static_cast<std::size_t>(v + h / 2) * static_cast<std::size_t>(w);
        for (int u = -(w / 2); u <= (w + 1) / 2 - 1; ++u) {
            const double fx = u / (w * theta);
            const double r = std::sqrt(fx * fx + fy * fy);
            const std::int64_t k = round_to_int(r * n_a * sample_angle * frequency_to_bin);
            const std::size_t i = row + static_cast<std::size_t>(u + w / 2);
            for (int c = 0; c < 3; ++c) {
                const double weight = responses[c][h_a + k];
                image.planes[c][i] *= weight;
                imaginary[c][i] *= weight;
            }
        }
    }

    for (int c = 0; c < 3; ++c) unshift_quadrants_2d(image.planes[c].data(), w, h);
    for (int c = 0; c < 3; ++c) unshift_quadrants_2d(imaginary[c].data(), w, h);
    for (int c = 0; c < 3; ++c) {
        fft_2d(image.planes[c].data(), imaginary[c].data(), -1, w, h);
    }
}

void scielab_filter_frame(const PixelBuffer& source, PixelBuffer& destination,
                          const ChannelFilter& a, const ChannelFilter& t,
                          const ChannelFilter& d, double sample_angle, const std::string& folder) {
    if (!is_present(source)) return;
    require_finished(a, t, d, sample_angle);
    check_pixel_buffer(source, "source");
    prepare_output(destination, source, "destination");
    const Profile profile = read_profile(folder, true, false);
    const PlanarImage image = filtered_planes(source, a, t, d, sample_angle, profile);
    planes_to_display(destination, image, profile.gog, profile.atd_to_rgb);
}

InterleavedImage scielab_lab_image(const PixelBuffer& source, const ChannelFilter& a,
                                   const ChannelFilter& t, const ChannelFilter& d,
                                   double sample_angle, const std::string& folder) {
    require_finished(a, t, d, sample_angle);
    check_pixel_buffer(source, "source");
    const Profile profile = read_profile(folder, false, true);
    const PlanarImage image = filtered_planes(source, a, t, d, sample_angle, profile);
    return atd_to_lab_with(image.width, image.height, image.planes[0].data(),
                           image.planes[1].data(), image.planes[2].data(), profile.atd_to_xyz);
}

int make_difference_image(const PixelBuffer& reference, const PixelBuffer& degraded,
                          PixelBuffer& output, double sample_angle, const AtdFilters& filters,
                          const std::string& folder, InterleavedImage& result) {
    if (!is_present(reference) || !is_present(degraded)) return 0;
    require_finished(filters.a, filters.t, filters.d, sample_angle);
    check_pixel_buffer(reference, "reference");
    check_pixel_buffer(degraded, "degraded");
    if (reference.width != degraded.width || reference.height != degraded.height) {
        raise_failure("The reference frame (" + std::to_string(reference.width) + " x " +
                      std::to_string(reference.height) + ") and the degraded frame (" +
                      std::to_string(degraded.width) + " x " + std::to_string(degraded.height) +
                      ") differ in size and cannot be compared.");
    }
    prepare_output(output, reference, "output");
    const Profile profile = read_profile(folder, false, true);
    const PlanarImage ref = filtered_planes(reference, filters.a, filters.t, filters.d,
                                            sample_angle, profile);
    const InterleavedImage lab_ref =
        atd_to_lab_with(ref.width, ref.height, ref.planes[0].data(), ref.planes[1].data(),
                        ref.planes[2].data(), profile.atd_to_xyz);
    const PlanarImage deg = filtered_planes(degraded, filters.a, filters.t, filters.d,
                                            sample_angle, profile);
    const InterleavedImage lab_deg =
        atd_to_lab_with(deg.width, deg.height, deg.planes[0].data(), deg.planes[1].data(),
                        deg.planes[2].data(), profile.atd_to_xyz);
    result = colour_difference_image(lab_ref, lab_deg);
    scale_to_grey(result.data.data(), result.data.size(), output);
    return 1;
}

void scale_to_grey(const double* values, std::size_t count, PixelBuffer& output) {
    check_pixel_buffer(output, "grey picture");
    const int w = output.width;
    const int h = output.height;
    if (count != static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
        raise_failure("The grey picture (" + std::to_string(w) + " x " + std::to_string(h) +
                      ") does not match the " + std::to_string(count) + " values.");
    }
    double max = -10000.0;
    double min = 10000.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (max < values[i]) max = values[i];
        if (min > values[i]) min = values[i];
    }
    const double range = max - min;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = output.bytes.data() + static_cast<std::size_t>(y) * output.stride;
        const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            std::uint8_t g = 0;
            if (max != min) {
                const double s = (values[base + x] - min) / range * 255.0;
                g = s >= 255.0 ? 255 : (s > 0.0 ? static_cast<std::uint8_t>(s) : 0);
            }
            row[3 * x] = g;
            row[3 * x + 1] = g;
            row[3 * x + 2] = g;
        }
    }
}

}  // namespace orv
