#pragma once
// The Japanese text the GUI shows for a failure that the libraries report in English (the
// batch tool prints the English one). Paths, sizes and values of the English text are carried
// over; "Error: file open [PATH]." stays as it is.

#include <string>

namespace orv {

std::string gui_failure_text(const std::string& message);

// Whether `message` is one of the failures gui_failure_text knows (the others are shown
// after a general Japanese line).
bool has_gui_failure_text(const std::string& message);

// A dialog field whose text is not a number: names the field and repeats the text.
std::string field_not_number_text(const std::string& field, const std::string& text);

}  // namespace orv
