#include "shell/field_numbers.h"

#include <charconv>
#include <cmath>

namespace orv {

std::optional<std::string> field_number_text(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    std::string number = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    const std::size_t comma = number.find(',');
    if (comma != std::string::npos) {
        // One comma and no point: the comma is the decimal separator.
        if (number.find(',', comma + 1) != std::string::npos ||
            number.find('.') != std::string::npos) {
            return std::nullopt;
        }
        number[comma] = '.';
    }
    // from_chars reads the C form whatever the locale is; it takes no leading plus.
    const std::size_t start = !number.empty() && number[0] == '+' ? 1 : 0;
    if (start == 1 && number.size() > 1 && (number[1] == '-' || number[1] == '+')) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* end = number.data() + number.size();
    const auto read = std::from_chars(number.data() + start, end, value);
    if (read.ec != std::errc() || read.ptr != end || !std::isfinite(value)) return std::nullopt;
    return number;
}

}  // namespace orv
