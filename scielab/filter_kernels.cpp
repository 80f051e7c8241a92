#include "scielab/filter_kernels.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>

#include "colour/profile_files.h"
#include "numeric/arrays.h"
#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"

namespace orv {

namespace {

constexpr double pi_k = 3.14159265359;

// The trace writes its numbers as printf's "%f" and "%d" do in the "C" locale, whatever the
// process locale is.
void write_trace(std::ostream& trace, const char* before, double value, const char* after) {
    trace << before << fixed_text(value, 6) << after;
}

void write_trace(std::ostream& trace, const char* before, int value, const char* after) {
    trace << before << std::to_string(value) << after;
}

bool next_token(std::istream& in, std::string& token, const std::string& name) {
    if (!(in >> token)) return false;
    if (token.size() > max_kernel_token_length) {
        raise_failure(FailureKind::kernel_token_too_long, name,
                      {std::to_string(max_kernel_token_length)});
    }
    return true;
}

void require_token(std::istream& in, std::string& token, const std::string& name) {
    if (!next_token(in, token, name)) {
        raise_failure(FailureKind::kernel_incomplete, name);
    }
}

// Leading-integer conversion: optional sign and digits; saturates far beyond any sane count.
long long token_to_count(const std::string& token) {
    std::size_t i = 0;
    while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    long long value = 0;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
        if (value < 1000000000000LL) value = value * 10 + (token[i] - '0');
        ++i;
    }
    return negative ? -value : value;
}

double variance_of(double spread, double sample_angle) {
    const double samples = (1.0 / sample_angle) * spread;
    return samples * samples;
}

// The half-width size_filter gives for the largest variance, before any limit is applied.
double raw_half_width(double vmax) { return std::sqrt(std::log(2.0) * vmax * 4.0); }

int half_width_for(double vmax) {
    const std::int64_t h = round_to_int(raw_half_width(vmax)) - 1;
    // A component narrower than one sample still needs its centre tap.
    return h < 0 ? 0 : static_cast<int>(h);
}

// Checks the parameters of a filter before anything is sized from them; `path` names the
// kernel file, or is empty for the filter being sized.
void check_filter_parameters(const ChannelFilter& filter, const std::string& path) {
    if (filter.count < 1) {
        raise_failure(FailureKind::filter_no_components, path, {std::to_string(filter.count)});
    }
    const auto n = static_cast<std::size_t>(filter.count);
    if (filter.variances.size() < n || filter.weights.size() < n) {
        raise_failure(FailureKind::filter_missing_values, path, {std::to_string(filter.count)});
    }
    double vmax = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = filter.variances[i];
        if (!std::isfinite(v) || !std::isfinite(filter.weights[i]) ||
            (i < filter.spreads.size() && !std::isfinite(filter.spreads[i]))) {
            raise_failure(FailureKind::filter_not_finite, path);
        }
        if (!(v > 0.0)) {
            raise_failure(FailureKind::filter_zero_spread, path);
        }
        vmax = std::max(vmax, v);
    }
    if (!(raw_half_width(vmax) <= max_kernel_half_width)) {
        raise_failure(FailureKind::filter_too_wide, path,
                      {std::to_string(2 * max_kernel_half_width + 1)});
    }
}

}  // namespace

std::vector<double> sample_gaussian(double variance, int half_width) {
    std::vector<double> g(static_cast<std::size_t>(2 * half_width + 1));
    const double inverse_variance = 1.0 / variance;
    const double norm = 1.0 / std::sqrt(variance * pi_k);
    for (int j = -half_width; j <= half_width; ++j) {
        const double jj = static_cast<double>(j) * static_cast<double>(j);
        g[static_cast<std::size_t>(j + half_width)] = std::exp(-jj * inverse_variance) * norm;
    }
    return g;
}

std::vector<double> build_kernel(const ChannelFilter& filter, int half_width) {
    std::vector<double> kernel(static_cast<std::size_t>(2 * half_width + 1), 0.0);
    for (int i = 0; i < filter.count; ++i) {
        const auto ii = static_cast<std::size_t>(i);
        const std::vector<double> g = sample_gaussian(filter.variances[ii], half_width);
        const double w = filter.weights[ii];
        for (std::size_t j = 0; j < kernel.size(); ++j) kernel[j] += w * g[j];
    }
    return kernel;
}

void size_filter(ChannelFilter& filter, std::ostream& trace) {
    check_filter_parameters(filter, "");
    double vmax = -10000.0;
    for (int i = 0; i < filter.count; ++i) {
        const double v = filter.variances[static_cast<std::size_t>(i)];
        if (vmax <= v) vmax = v;
    }
    write_trace(trace, "Max spread = ", vmax, "\n");
    const int h = half_width_for(vmax);
    write_trace(trace, "FilterSize = ", h, "\n");
    filter.kernel = build_kernel(filter, h);
    filter.half_width = h;
    filter.length = 2 * h + 1;
}

ChannelFilter parse_kernel_file(std::istream& in, const std::string& name, double sample_angle,
                                std::ostream& trace) {
    if (!std::isfinite(sample_angle) || !(sample_angle > 0.0)) {
        raise_failure(FailureKind::kernel_angle_not_positive);
    }
    std::string token;
    require_token(in, token, name);
    trace << token << '\t';
    require_token(in, token, name);
    require_token(in, token, name);
    const long long count = token_to_count(token);
    write_trace(trace, "Num=",
                static_cast<int>(std::clamp<long long>(count, std::numeric_limits<int>::min(),
                                                       std::numeric_limits<int>::max())),
                "\n");
    if (count < 1) {
        raise_failure(FailureKind::kernel_count_too_small, name, {std::to_string(count)});
    }
    if (count > max_kernel_components) {
        raise_failure(FailureKind::kernel_count_too_large, name,
                      {std::to_string(count), std::to_string(max_kernel_components)});
    }
    ChannelFilter filter;
    filter.count = static_cast<int>(count);
    const auto n = static_cast<std::size_t>(count);
    filter.spreads.resize(n);
    filter.variances.resize(n);
    filter.weights.resize(n);

    require_token(in, token, name);
    trace << "spread\t";
    for (std::size_t i = 0; i < n; ++i) {
        require_token(in, token, name);
        filter.spreads[i] = token_to_double(token);
        write_trace(trace, "", filter.spreads[i], "\t");
    }
    require_token(in, token, name);
    trace << "\nWeight\t";
    for (std::size_t i = 0; i < n; ++i) {
        require_token(in, token, name);
        filter.weights[i] = token_to_double(token);
        write_trace(trace, "", filter.weights[i], "\t");
    }
    trace << "\nVari\t";
    for (std::size_t i = 0; i < n; ++i) {
        filter.variances[i] = variance_of(filter.spreads[i], sample_angle);
        write_trace(trace, "", filter.variances[i], "\t");
    }
    write_trace(trace, "\nAdjust\t", sample_angle, "\n");
    check_filter_parameters(filter, name);
    return filter;
}

ChannelFilter read_kernel_file(const std::string& path, double sample_angle, std::ostream& trace) {
    std::ifstream in(path);
    if (!in) raise_failure(FailureKind::profile_cannot_open, path);
    return parse_kernel_file(in, path, sample_angle, trace);
}

ChannelFilter load_channel_filter(const std::string& path, double sample_angle,
                                  std::ostream& trace) {
    ChannelFilter filter = read_kernel_file(path, sample_angle, trace);
    size_filter(filter, trace);
    return filter;
}

void recompute_variances(ChannelFilter& filter, double sample_angle) {
    filter.variances.resize(filter.spreads.size());
    for (std::size_t i = 0; i < filter.spreads.size(); ++i) {
        filter.variances[i] = variance_of(filter.spreads[i], sample_angle);
    }
}

const std::vector<double>& compute_response(ChannelFilter& filter) {
    const int n = filter.length;
    if (n < 1 || filter.kernel.size() != static_cast<std::size_t>(n)) {
        raise_failure(FailureKind::filter_without_kernel);
    }
    std::vector<double> re = filter.kernel;
    std::vector<double> im(static_cast<std::size_t>(n), 0.0);
    chirp_dft_1d(re.data(), im.data(), 1, n);
    std::vector<double> magnitude(static_cast<std::size_t>(n));
    spectrum_magnitude(re.data(), im.data(), n, magnitude.data());
    shift_centre_1d(magnitude.data(), n);
    filter.response = std::move(magnitude);
    return filter.response;
}

void normalise_response(ChannelFilter& filter) {
    const int n = filter.length;
    if (n < 1 || filter.response.size() != static_cast<std::size_t>(n)) {
        raise_failure(FailureKind::filter_without_response);
    }
    double m = -10000.0;
    for (double v : filter.response) {
        if (m <= v) m = v;
    }
    if (!(m > 0.0) || !std::isfinite(m)) {
        raise_failure(FailureKind::filter_all_zero);
    }
    const double inverse = 1.0 / m;
    for (double& v : filter.response) v *= inverse;
    filter.response[static_cast<std::size_t>(static_cast<int>(n * 0.5))] = 1.0;
}

void resize_kernel(ChannelFilter& filter, int new_half_width) {
    const int h = filter.half_width;
    if (new_half_width < h || filter.kernel.size() != static_cast<std::size_t>(2 * h + 1)) {
        raise_failure(FailureKind::kernel_narrowing);
    }
    std::vector<double> kernel(static_cast<std::size_t>(2 * new_half_width + 1), 0.0);
    for (int j = -h; j <= h; ++j) {
        kernel[static_cast<std::size_t>(new_half_width + j)] =
            filter.kernel[static_cast<std::size_t>(h + j)];
    }
    filter.kernel = std::move(kernel);
    filter.half_width = new_half_width;
    filter.length = 2 * new_half_width + 1;
}

void finish_filter_set(AtdFilters& filters) {
    ChannelFilter* all[3] = {&filters.a, &filters.t, &filters.d};
    for (ChannelFilter* f : all) {
        if (f->count < 1 || f->half_width < 0 ||
            f->kernel.size() != static_cast<std::size_t>(2 * f->half_width + 1)) {
            raise_failure(FailureKind::filters_not_loaded);
        }
    }
    // A T or D filter wider than A brings the whole set to its width: every filter keeps
    // all of its taps.
    const int h = std::max({filters.a.half_width, filters.t.half_width, filters.d.half_width});
    for (ChannelFilter* f : all) {
        if (f->half_width != h) resize_kernel(*f, h);
    }
    for (ChannelFilter* f : all) compute_response(*f);
    for (ChannelFilter* f : all) normalise_response(*f);
}

bool filters_finished(const ChannelFilter& a, const ChannelFilter& t, const ChannelFilter& d) {
    const ChannelFilter* all[3] = {&a, &t, &d};
    const int h = a.half_width;
    if (h < 0) return false;
    const auto n = static_cast<std::size_t>(2 * h + 1);
    for (const ChannelFilter* f : all) {
        if (f->count < 1 || f->half_width != h || f->length != 2 * h + 1 || f->kernel.size() != n ||
            f->response.size() != n || f->response[static_cast<std::size_t>(h)] != 1.0) {
            return false;
        }
        for (double v : f->response) {
            if (!(v >= 0.0 && v <= 1.0 + 1e-12)) return false;
        }
    }
    return true;
}

bool filter_set_finished(const AtdFilters& filters) {
    return filters_finished(filters.a, filters.t, filters.d);
}

}  // namespace orv
