#include "colour/profile_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "numeric/failure.h"
#include "numeric/number_text.h"

namespace orv {

namespace {

#ifdef _WIN32
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif

// Reads the next whitespace-separated token; false at the end of the text.
bool next_token(std::istream& in, std::string& token, std::size_t max_length,
                const std::string& name) {
    if (!(in >> token)) return false;
    if (token.size() > max_length) {
        raise_failure(FailureKind::profile_token_too_long, name, {std::to_string(max_length)});
    }
    return true;
}

[[noreturn]] void raise_incomplete(const std::string& name, int found, int needed) {
    raise_failure(FailureKind::profile_incomplete, name,
                  {std::to_string(found), std::to_string(needed)});
}

double checked_value(const std::string& token, const std::string& name) {
    double value = token_to_double(token);
    if (!std::isfinite(value)) {
        raise_failure(FailureKind::profile_value_out_of_range, name, {token});
    }
    return value;
}

}  // namespace

std::string profile_path(const std::string& folder, const std::string& file_name) {
    std::string path = folder;
    path += path_separator;
    path += file_name;
    return path;
}

double token_to_double(const std::string& token) {
    // Optional sign, digits with an optional decimal point, optional exponent introduced by
    // e, E, d or D. Everything after the longest such prefix is ignored.
    return leading_number(token, "eEdD");
}

GogParameters parse_display_model(std::istream& in, const std::string& name) {
    constexpr int header_tokens = 9;
    constexpr int value_tokens = 9;
    std::string token;
    for (int i = 0; i < header_tokens; ++i) {
        if (!next_token(in, token, max_profile_token_length, name)) {
            raise_incomplete(name, 0, value_tokens);
        }
    }
    double values[value_tokens];
    for (int i = 0; i < value_tokens; ++i) {
        if (!next_token(in, token, max_profile_token_length, name)) {
            raise_incomplete(name, i, value_tokens);
        }
        values[i] = checked_value(token, name);
    }
    GogParameters gog;
    GogChannel* channels[3] = {&gog.red, &gog.green, &gog.blue};
    for (int c = 0; c < 3; ++c) {
        channels[c]->gain = values[3 * c];
        channels[c]->offset = values[3 * c + 1];
        channels[c]->gamma = values[3 * c + 2];
    }
    check_display_model(gog, name);
    return gog;
}

Matrix3 parse_matrix3(std::istream& in, const std::string& name) {
    Matrix3 m{};
    std::string token;
    for (int i = 0; i < 9; ++i) {
        if (!next_token(in, token, max_profile_token_length, name)) raise_incomplete(name, i, 9);
        m[static_cast<std::size_t>(i)] = checked_value(token, name);
    }
    return m;
}

void check_display_model(const GogParameters& gog, const std::string& name) {
    const GogChannel* channels[3] = {&gog.red, &gog.green, &gog.blue};
    const char* channel_names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) {
        const GogChannel& ch = *channels[c];
        if (!std::isfinite(ch.gain) || !std::isfinite(ch.offset) || !std::isfinite(ch.gamma)) {
            raise_failure(FailureKind::display_not_finite, name, {channel_names[c]});
        }
        if (ch.gain == 0.0) {
            raise_failure(FailureKind::display_gain_zero, name, {channel_names[c]});
        }
        if (!(ch.gamma > 0.0)) {
            raise_failure(FailureKind::display_gamma_not_positive, name, {channel_names[c]});
        }
        // 1/gamma must stay finite as well.
        if (!std::isfinite(1.0 / ch.gamma)) {
            raise_failure(FailureKind::display_gamma_too_small, name, {channel_names[c]});
        }
        // The brightest output of the channel (byte 0 or 255, whichever gives the larger
        // base) must stay a finite number.
        const double brightest = std::max({0.0, ch.offset, ch.gain + ch.offset});
        if (!(std::pow(brightest, ch.gamma) <= max_profile_magnitude)) {
            raise_failure(FailureKind::display_overflow, name, {channel_names[c]});
        }
    }
}

GogParameters read_display_model(const std::string& path) {
    std::ifstream in(path);
    if (!in) raise_failure(FailureKind::profile_cannot_open, path);
    return parse_display_model(in, path);
}

Matrix3 read_matrix3(const std::string& path) {
    std::ifstream in(path);
    if (!in) raise_failure(FailureKind::profile_cannot_open, path);
    return parse_matrix3(in, path);
}

}  // namespace orv
