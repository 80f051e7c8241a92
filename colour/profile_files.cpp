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
        raise_failure("Error: file [" + name + "] holds a token longer than " +
                      std::to_string(max_length) + " characters.");
    }
    return true;
}

[[noreturn]] void raise_incomplete(const std::string& name, int found, int needed) {
    raise_failure("Error: file [" + name + "] is incomplete: it holds " + std::to_string(found) +
                  " of the " + std::to_string(needed) + " values it needs.");
}

double checked_value(const std::string& token, const std::string& name) {
    double value = token_to_double(token);
    if (!std::isfinite(value)) {
        raise_failure("Error: file [" + name + "] holds the value \"" + token +
                      "\", which is out of range.");
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
            raise_failure("Error: display model [" + name + "]: the " + channel_names[c] +
                          " channel holds a value that is not a finite number.");
        }
        if (ch.gain == 0.0) {
            raise_failure("Error: display model [" + name + "]: the " + channel_names[c] +
                          " gain is 0, so the model cannot be inverted.");
        }
        if (!(ch.gamma > 0.0)) {
            raise_failure("Error: display model [" + name + "]: the " + channel_names[c] +
                          " gamma is not above 0, so the model cannot be inverted.");
        }
        // 1/gamma must stay finite as well.
        if (!std::isfinite(1.0 / ch.gamma)) {
            raise_failure("Error: display model [" + name + "]: the " + channel_names[c] +
                          " gamma is too small to be inverted.");
        }
        // The brightest output of the channel (byte 0 or 255, whichever gives the larger
        // base) must stay a finite number.
        const double brightest = std::max({0.0, ch.offset, ch.gain + ch.offset});
        if (!(std::pow(brightest, ch.gamma) <= max_profile_magnitude)) {
            raise_failure("Error: display model [" + name + "]: the " + channel_names[c] +
                          " channel overflows for bright pixels (gain, offset and gamma too "
                          "large).");
        }
    }
}

GogParameters read_display_model(const std::string& path) {
    std::ifstream in(path);
    if (!in) raise_failure("Error: file open [" + path + "].");
    return parse_display_model(in, path);
}

Matrix3 read_matrix3(const std::string& path) {
    std::ifstream in(path);
    if (!in) raise_failure("Error: file open [" + path + "].");
    return parse_matrix3(in, path);
}

}  // namespace orv
