#include "colour/profile_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <fstream>
#include <sstream>

#include "numeric/failure.h"

namespace orv {

namespace {

#ifdef _WIN32
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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
    std::size_t i = 0;
    const std::size_t n = token.size();
    while (i < n && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
    std::string number;
    if (i < n && (token[i] == '+' || token[i] == '-')) number += token[i++];
    std::size_t digits = 0;
    while (i < n && is_digit(token[i])) {
        number += token[i++];
        ++digits;
    }
    if (i < n && token[i] == '.') {
        number += token[i++];
        while (i < n && is_digit(token[i])) {
            number += token[i++];
            ++digits;
        }
    }
    if (digits == 0) return 0.0;
    const std::size_t mantissa_length = number.size();
    long long exponent_value = 0;
    if (i < n && (token[i] == 'e' || token[i] == 'E' || token[i] == 'd' || token[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        bool exponent_negative = false;
        if (j < n && (token[j] == '+' || token[j] == '-')) {
            exponent_negative = token[j] == '-';
            exponent += token[j++];
        }
        std::size_t exponent_digits = 0;
        while (j < n && is_digit(token[j])) {
            if (exponent_value < 1000000000LL) {
                exponent_value = exponent_value * 10 + (token[j] - '0');
            }
            exponent += token[j++];
            ++exponent_digits;
        }
        if (exponent_digits > 0) number += exponent;
        if (exponent_negative) exponent_value = -exponent_value;
    }
    // from_chars reads the C form whatever the process locale is (the GUI runs under the
    // user's, where strtod would stop at the decimal point of "2.2").
    const char* first = number.data();
    if (*first == '+') ++first;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    (void)end;
    if (error != std::errc::result_out_of_range) return value;
    // Out of the range of a double: infinity beyond the largest, zero below the smallest.
    // Which of the two follows from the place of the first non-zero digit.
    const bool negative = number[0] == '-';
    const std::size_t point = std::min(number.find('.'), mantissa_length);
    const std::size_t first_digit = number.find_first_of("123456789");
    if (first_digit >= mantissa_length) return negative ? -0.0 : 0.0;
    const long long lead = first_digit < point
                               ? static_cast<long long>(point - first_digit) - 1
                               : -static_cast<long long>(first_digit - point);
    if (lead + exponent_value >= 0) {
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    return negative ? -0.0 : 0.0;
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
