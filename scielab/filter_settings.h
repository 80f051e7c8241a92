#pragma once
// The logic behind the ATD filter settings dialog, without any window layer: loading the
// three kernel files into a filter set and showing their first components as field texts,
// and rebuilding a finished filter set from edited field texts.
//
// Both operations work on a working copy of the filter set: the dialog copies the
// application's set into it, and copies it back only after a successful apply.

#include <array>
#include <iosfwd>
#include <string>

#include "numeric/failure.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The 14 edit fields in display order: A spreads 1-3, A weights 1-3, T spreads 1-2,
// T weights 1-2, D spreads 1-2, D weights 1-2.
constexpr std::array<int, 14> filter_field_ids = {1010, 1013, 1014, 1015, 1016, 1017, 1018,
                                                  1019, 1020, 1021, 1022, 1023, 1024, 1025};

// One text per field of `filter_field_ids`, in the same order.
struct FilterFieldTexts {
    std::array<std::string, 14> texts;
};

// The text of the field with dialog id `id` (1010 ... 1025); nullptr for another id.
const std::string* field_text(const FilterFieldTexts& fields, int id);
std::string* field_text(FilterFieldTexts& fields, int id);

// Outcome of loading: either `loaded` with the field texts ("%.4f"; fields of components the
// file does not have are empty), or not loaded with the failure of the folder.
struct FilterLoadOutcome {
    bool loaded = false;
    FilterFieldTexts fields;
    Failure folder_failure;  // when not loaded: profile_folder_wrong
};

// Loads "kernel_L.txt", "kernel_RG.txt" and "kernel_BY.txt" from `folder` into `working`
// (each record sized, without responses). When "kernel_L.txt" cannot be opened the outcome
// carries the folder error and `working` is untouched. A failure reading the other files
// (or a refused file) raises Failure and leaves `working` untouched. The trace of the
// kernel reader and of the sizing goes to `trace`.
FilterLoadOutcome load_filter_settings(AtdFilters& working, double sample_angle,
                                       const std::string& folder, std::ostream& trace);

// Replaces the first spreads and weights of A (3), T (2) and D (2) by the field texts
// (leading-number conversion), recomputes every variance, sizes the three filters and
// finishes the set. Fields of components a filter does not have are ignored; components
// beyond the fields keep their values. Raises Failure (leaving `working` untouched) when the
// set was never loaded or the edited values are refused.
void apply_filter_settings(const FilterFieldTexts& fields, AtdFilters& working, double sample_angle,
                           std::ostream& trace);

}  // namespace orv
