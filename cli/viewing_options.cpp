#include "cli/viewing_options.h"

#include <CLI/CLI.hpp>
#include <string>

#include "numeric/failure.h"

namespace orv {

namespace {

void add_value(CLI::App& command, ViewingField field, std::optional<double>& value,
               const std::string& help, const char* type) {
    command
        .add_option_function<double>(
            viewing_option_name(field, OptionStyle::command_line),
            [&value](const double& v) { value = v; }, help)
        ->type_name(type);
}

}  // namespace

void add_viewing_options(CLI::App& command, ViewingOptions& o) {
    add_value(command, ViewingField::ppd, o.ppd,
              "Viewing: display pixels per degree of visual angle (default: the fixed geometry, "
              "68.66; give one of the viewing forms at most)",
              "P");
    add_value(command, ViewingField::display_width_cm, o.display_width_cm,
              "Viewing: the display's picture width in cm (with --display-width-pixels and "
              "--distance-cm)",
              "W");
    add_value(command, ViewingField::display_width_pixels, o.display_width_pixels,
              "Viewing: the display's width in pixels", "N");
    add_value(command, ViewingField::distance_cm, o.distance_cm,
              "Viewing: the distance from the eye to the display in cm", "D");
    add_value(command, ViewingField::distance_heights, o.distance_heights,
              "Viewing: the distance in picture heights (with --display-height-pixels)", "H");
    add_value(command, ViewingField::display_height_pixels, o.display_height_pixels,
              "Viewing: the display's height in pixels (lines)", "N");
    std::string names;
    for (const ViewingPreset& p : viewing_presets()) {
        names += std::string(names.empty() ? "" : "|") + p.name;
    }
    command
        .add_option_function<std::string>(
            viewing_option_name(ViewingField::preset, OptionStyle::command_line),
            [&o](const std::string& v) { o.preset = v; },
            "Viewing: a named situation (laptop14 is the fixed geometry)")
        ->type_name(names);
}

void check_viewing_options(const ViewingOptions& options) {
    try {
        (void)viewing_geometry(options, OptionStyle::command_line);
    } catch (const Failure& failure) {
        throw CLI::ValidationError(failure_text(failure));
    }
}

}  // namespace orv
