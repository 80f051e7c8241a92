#include "scielab/conditions.h"

#include <cmath>
#include <cstdint>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/arrays.h"
#include "numeric/failure.h"
#include "scielab/pipeline.h"
#include "scielab/viewing_geometry.h"

namespace orv {

namespace {

// A matrix file read and checked as invertible under its path.
Matrix3 read_checked_matrix(const std::string& folder, const char* name) {
    const std::string path = profile_path(folder, name);
    Matrix3 m = read_matrix3(path);
    check_matrix_invertible(m, path);
    return m;
}

}  // namespace

ViewingGeometry default_viewing_geometry() { return {pixel_angle_degrees(), "default"}; }

std::string profile_file_path(const std::string& folder, const char* name) {
    return profile_path(folder, name);
}

ColourModel read_colour_model(const std::string& folder) {
    ColourModel m;
    m.folder = folder;
    // The order of the checks (display model, the three matrices, then the products) is the
    // order of the messages a bad profile gets.
    m.display_model = read_display_model(profile_path(folder, profile_file::display_model));
    m.rgb_to_xyz = read_checked_matrix(folder, profile_file::rgb_to_xyz);
    m.xyz_to_lms = read_checked_matrix(folder, profile_file::xyz_to_lms);
    m.lms_to_atd = read_checked_matrix(folder, profile_file::lms_to_atd);
    m.rgb_to_atd = compose_rgb_to_atd(m.rgb_to_xyz, m.xyz_to_lms, m.lms_to_atd, folder);
    m.atd_to_rgb = invert_matrix3(m.rgb_to_atd);
    m.atd_to_xyz = invert_matrix3(compose_xyz_to_atd(m.xyz_to_lms, m.lms_to_atd, folder));
    m.display_table = make_display_table(m.display_model);
    m.transfer = transfer_parameters(m.display);
    m.xyz_to_bt2020 = xyz_to_primaries(DisplayPrimaries::bt2020);
    return m;
}

void set_display_choice(ColourModel& m, const DisplayChoice& choice) {
    check_display_choice(choice);
    m.display = choice;
    m.transfer = transfer_parameters(choice);
    m.xyz_to_bt2020 = xyz_to_primaries(DisplayPrimaries::bt2020);
    // The profile's own matrix and model stay as read_colour_model made them.
    if (choice.primaries != DisplayPrimaries::profile) {
        m.rgb_to_atd = compose_rgb_to_atd(primaries_to_xyz(choice.primaries), m.xyz_to_lms,
                                          m.lms_to_atd, m.folder);
        m.atd_to_rgb = invert_matrix3(m.rgb_to_atd);
    }
    if (choice.transfer == DisplayTransfer::profile) return;
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t d = 0; d < 256; ++d) {
            m.display_table[c][d] = channel_light(m.transfer, static_cast<double>(d) / 255.0);
        }
    }
}

bool same_display(const DisplayChoice& a, const DisplayChoice& b) {
    return a.transfer == b.transfer && a.primaries == b.primaries &&
           white_luminance(a) == white_luminance(b) && black_luminance(a) == black_luminance(b) &&
           peak_luminance(a) == peak_luminance(b);
}

void set_side_displays(MeasurementConditions& c, const DisplayChoice& reference,
                       const DisplayChoice& degraded) {
    c.degraded_colour.reset();
    if (!same_display(reference, degraded)) {
        c.degraded_colour = c.colour;
        set_display_choice(*c.degraded_colour, degraded);
    }
    set_display_choice(c.colour, reference);
}

Matrix3 load_rgb_to_atd(const std::string& folder) {
    const Matrix3 mx = read_checked_matrix(folder, profile_file::rgb_to_xyz);
    const Matrix3 ml = read_checked_matrix(folder, profile_file::xyz_to_lms);
    const Matrix3 ma = read_checked_matrix(folder, profile_file::lms_to_atd);
    return compose_rgb_to_atd(mx, ml, ma, folder);
}

Matrix3 load_xyz_to_atd(const std::string& folder) {
    const Matrix3 ml = read_checked_matrix(folder, profile_file::xyz_to_lms);
    const Matrix3 ma = read_checked_matrix(folder, profile_file::lms_to_atd);
    return compose_xyz_to_atd(ml, ma, folder);
}

AtdFilters read_kernel_files(const std::string& folder, double sample_angle, std::ostream& trace) {
    AtdFilters filters;
    filters.a =
        load_channel_filter(profile_path(folder, profile_file::kernel_a), sample_angle, trace);
    filters.t =
        load_channel_filter(profile_path(folder, profile_file::kernel_t), sample_angle, trace);
    filters.d =
        load_channel_filter(profile_path(folder, profile_file::kernel_d), sample_angle, trace);
    return filters;
}

MeasurementConditions make_conditions(const std::string& folder, const AtdFilters& filters,
                                      DeltaEFormula formula, const ViewingGeometry& viewing) {
    MeasurementConditions c;
    c.filters = filters;
    c.formula = formula;
    c.viewing = viewing;
    check_conditions(c);
    c.colour = read_colour_model(folder);
    return c;
}

double max_pixels_per_degree(const AtdFilters& filters, double sample_angle) {
    // The corner's bin, round(sqrt(2) / 2 * ppd * length * angle * frequency_to_bin), must not
    // exceed the half-width: ppd * c + 0.5 < half_width + 1.
    const double c =
        std::sqrt(2.0) * 0.5 * filters.a.length * sample_angle * viewing::frequency_to_bin;
    return (filters.a.half_width + 0.5) / c;
}

void check_conditions(const MeasurementConditions& c) {
    const AtdFilters& f = c.filters;
    if (!filters_finished(f.a, f.t, f.d)) {
        raise_failure(FailureKind::filters_not_ready);
    }
    if (!std::isfinite(c.sample_angle) || !(c.sample_angle > 0.0)) {
        raise_failure(FailureKind::sample_angle_not_positive);
    }
    const double theta = c.viewing.pixel_angle_degrees;
    if (!std::isfinite(theta) || !(theta > 0.0)) {
        raise_failure(FailureKind::pixel_angle_not_positive);
    }
    // The highest frequency of any frame lies at the corner of the spectrum; its bin must
    // stay inside the responses.
    const double corner = std::sqrt(2.0) * 0.5 / theta;
    const std::int64_t k =
        round_to_int(corner * f.a.length * c.sample_angle * viewing::frequency_to_bin);
    if (k > f.a.half_width) {
        raise_failure(FailureKind::sample_angle_too_large);
    }
}

}  // namespace orv
