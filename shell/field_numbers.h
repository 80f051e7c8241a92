#pragma once
// Numbers typed into the dialogs' fields, read the same way under every locale: a decimal
// comma (as a German keyboard gives it) counts as the decimal point, and a text that is not a
// number is refused with the field's name instead of being read as 0.

#include <optional>
#include <string>

namespace orv {

// The field's number in the C form the readers take ("0,9210" gives "0.9210"), blanks around
// it removed; an empty (or blank) text gives "". nullopt when the text is not one finite
// number: letters, two decimal separators, a number followed by anything else.
std::optional<std::string> field_number_text(const std::string& text);

}  // namespace orv
