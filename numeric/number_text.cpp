#include "numeric/number_text.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <system_error>

namespace orv {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double leading_number(std::string_view text, std::string_view exponent_letters,
                      bool* negative_sign) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (negative_sign != nullptr) *negative_sign = negative;

    // The number in the C form from_chars reads: sign, mantissa, then "e" and the exponent.
    std::string number = negative ? "-" : "";
    std::size_t integer_digits = 0;
    std::size_t digits = 0;
    while (i < n && is_digit(text[i])) {
        number += text[i++];
        ++integer_digits;
    }
    digits = integer_digits;
    if (i < n && text[i] == '.') {
        number += text[i++];
        while (i < n && is_digit(text[i])) {
            number += text[i++];
            ++digits;
        }
    }
    if (digits == 0) return 0.0;
    const std::size_t mantissa_end = number.size();

    // The exponent counts only when digits follow its letter and sign; its size saturates,
    // which is enough to tell an overflow from an underflow.
    long long exponent = 0;
    if (i < n && exponent_letters.find(text[i]) != std::string_view::npos) {
        std::size_t j = i + 1;
        std::string exponent_text = "e";
        bool exponent_negative = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            exponent_negative = text[j] == '-';
            exponent_text += text[j++];
        }
        std::size_t exponent_digits = 0;
        while (j < n && is_digit(text[j])) {
            if (exponent < 1000000000LL) exponent = exponent * 10 + (text[j] - '0');
            exponent_text += text[j++];
            ++exponent_digits;
        }
        if (exponent_digits > 0) number += exponent_text;
        if (exponent_negative) exponent = -exponent;
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error != std::errc::result_out_of_range) return value;
    // Out of the range of a double: the decimal place of the first non-zero digit tells
    // whether the number lies beyond the largest double or below the smallest.
    const std::size_t sign_length = negative ? 1 : 0;
    const std::size_t first_digit = number.find_first_of("123456789", sign_length);
    if (first_digit >= mantissa_end) return negative ? -0.0 : 0.0;
    const long long place_of_first =
        first_digit < sign_length + integer_digits
            ? static_cast<long long>(sign_length + integer_digits - first_digit) - 1
            : -static_cast<long long>(first_digit - (sign_length + integer_digits));
    const double limit =
        place_of_first + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -limit : limit;
}

}  // namespace orv
