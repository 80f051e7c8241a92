#pragma once
// Numbers written as text the same way whatever the process locale is: the GUI runs under the
// user's locale, where the C library's "%f" writes a decimal comma.

#include <charconv>
#include <string>

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

}  // namespace orv
