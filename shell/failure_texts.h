#pragma once
// The Japanese texts the GUI shows for failures, one per kind (orv-cli and Python show the
// English text of numeric/failure.h). Paths, sizes and values of the failure are carried over.

#include <string>

#include "numeric/failure.h"

namespace orv {

// The Japanese text of the failure, without the system's reason.
std::string gui_failure_text(const Failure& failure);

// Whether the GUI shows the failure's path as the message box's caption rather than in the
// text (the file dialogs' refusals: the reader's and the media library's).
bool gui_failure_path_in_caption(FailureKind kind);

// The text for a message box whose caption is fixed: as gui_failure_text, followed by
// ": PATH" where the text leaves the path to the caption.
std::string gui_failure_line(const Failure& failure);

// The kind's Japanese template ({p}, {0} ..., {f} as in numeric/failure_kinds.h); empty for a
// kind without one.
std::string gui_failure_template(FailureKind kind);

// A dialog field whose text is not a number: names the field and repeats the text.
std::string field_not_number_text(const std::string& field, const std::string& text);

}  // namespace orv
