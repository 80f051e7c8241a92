#pragma once
// Numbers written as text the same way whatever the process locale is: the GUI runs under the
// user's locale, where the C library's "%f" writes a decimal comma.

#include <charconv>
#include <string>
#include <string_view>

namespace orv {

// The text printf("%.*f", decimals, value) gives in the "C" locale: a decimal point, no
// grouping, "inf", "-inf" and "nan" for the values that are not finite.
inline std::string fixed_text(double value, int decimals) {
    // The largest double has 309 integer digits.
    std::string text(static_cast<std::size_t>(320 + (decimals > 0 ? decimals : 0)), '\0');
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value,
                                       std::chars_format::fixed, decimals);
    text.resize(written.ec == std::errc() ? static_cast<std::size_t>(written.ptr - text.data())
                                          : 0);
    return text;
}

// The value of the longest leading decimal number of `text`: optional white space and sign,
// digits with an optional decimal point, and an exponent after one of `exponent_letters` when
// digits follow it; whatever comes after is ignored. Read in the C form whatever the process
// locale is. No digit gives 0; beyond the range of a double, an infinity of the number's sign;
// below it, a zero of that sign. `negative_sign`, when given, tells whether a minus sign led.
double leading_number(std::string_view text, std::string_view exponent_letters,
                      bool* negative_sign = nullptr);

}  // namespace orv
