#pragma once
// The viewing keywords of orv.Profile: ppd, display_width_cm with display_width_pixels and
// distance_cm, distance_heights with display_height_pixels, or viewing (a preset's name),
// checked as orv-cli checks its options; a refusal is a ValueError naming the keyword.

#include <optional>
#include <pybind11/pybind11.h>
#include <string>

#include "numeric/failure.h"
#include "scielab/conditions.h"
#include "scielab/viewing.h"

namespace orv {

struct ViewingKeywords {
    ViewingOptions options;

    // The checks that need no profile, before any file is read.
    void check() const {
        try {
            (void)viewing_geometry(options, OptionStyle::keyword);
        } catch (const Failure& failure) {
            throw pybind11::value_error(failure_text(failure));
        }
    }

    // The angle with the loaded filters' limit, into `conditions`.
    void apply(MeasurementConditions& conditions) const {
        try {
            conditions.viewing = viewing_geometry(options, OptionStyle::keyword, conditions.filters,
                                                  conditions.sample_angle);
        } catch (const Failure& failure) {
            throw pybind11::value_error(failure_text(failure));
        }
        check_conditions(conditions);
    }
};

}  // namespace orv
