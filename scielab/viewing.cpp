#include "scielab/viewing.h"

#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "scielab/pipeline.h"
#include "scielab/viewing_geometry.h"

namespace orv {

namespace {

using Value = std::optional<double> ViewingOptions::*;

struct FieldOf {
    ViewingField field;
    Value value;
};

// The three forms, each with its fields in the order the texts name them.
struct Form {
    const char* source;
    std::vector<FieldOf> fields;
};

const std::array<Form, 3>& forms() {
    static const std::array<Form, 3> all = {{
        {"ppd", {{ViewingField::ppd, &ViewingOptions::ppd}}},
        {"display",
         {{ViewingField::display_width_cm, &ViewingOptions::display_width_cm},
          {ViewingField::display_width_pixels, &ViewingOptions::display_width_pixels},
          {ViewingField::distance_cm, &ViewingOptions::distance_cm}}},
        {"heights",
         {{ViewingField::distance_heights, &ViewingOptions::distance_heights},
          {ViewingField::display_height_pixels, &ViewingOptions::display_height_pixels}}},
    }};
    return all;
}

// The shortest text that reads back as the value, in the C form.
std::string value_text(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    std::array<char, 64> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string(text.data(), written.ptr);
}

// "A", "A and B", "A, B and C".
std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0) text += k + 1 == names.size() ? " and " : ", ";
        text += names[k];
    }
    return text;
}

// The names of the options that make up the form the user gave (the preset's own option for
// a preset), for the texts of the refusals of its result.
std::string given_names(const ViewingOptions& options, OptionStyle style) {
    if (options.preset) {
        const std::string name = viewing_option_name(ViewingField::preset, style);
        return style == OptionStyle::command_line ? name + " " + *options.preset
                                                  : name + "=\"" + *options.preset + "\"";
    }
    for (const Form& form : forms()) {
        std::vector<std::string> names;
        for (const FieldOf& f : form.fields) {
            if (options.*f.value) names.push_back(viewing_option_name(f.field, style));
        }
        if (!names.empty()) return joined(names);
    }
    return {};
}

std::string preset_names() {
    std::vector<std::string> names;
    for (const ViewingPreset& p : viewing_presets()) names.emplace_back(p.name);
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) text += (k > 0 ? ", " : "") + names[k];
    return text;
}

// Degrees in a radian, to the double's precision (the fixed geometry keeps its own constant,
// which is 6.6e-14 smaller, so that its angle stays bit for bit what it was).
constexpr double degrees_per_radian = 180.0 / std::numbers::pi;

// The angle of a complete, checked form.
double form_angle(const ViewingOptions& o, const char* source) {
    const std::string s = source;
    if (s == "ppd") return 1.0 / *o.ppd;
    if (s == "display") {
        return std::atan(*o.display_width_cm / *o.display_width_pixels / *o.distance_cm) *
               degrees_per_radian;
    }
    return std::atan(1.0 / (*o.distance_heights * *o.display_height_pixels)) * degrees_per_radian;
}

// The angle of the options' form (none: the fixed geometry), each value checked.
ViewingGeometry checked_geometry(const ViewingOptions& options, OptionStyle style) {
    const auto name = [style](ViewingField f) { return viewing_option_name(f, style); };
    // Which forms were given: the preset counts as one.
    std::vector<std::string> firsts;
    const Form* given = nullptr;
    if (options.preset) firsts.push_back(name(ViewingField::preset));
    for (const Form& form : forms()) {
        for (const FieldOf& f : form.fields) {
            if (options.*f.value) {
                firsts.push_back(name(f.field));
                given = &form;
                break;
            }
        }
    }
    if (firsts.size() > 1) {
        raise_failure(FailureKind::viewing_two_forms, {}, {firsts[0], firsts[1]});
    }
    if (options.preset) {
        const ViewingPreset* preset = find_viewing_preset(*options.preset);
        if (preset == nullptr) {
            raise_failure(FailureKind::viewing_unknown_preset, {},
                          {name(ViewingField::preset), *options.preset, preset_names()});
        }
        if (preset->fixed_geometry) return {pixel_angle_degrees(), preset->name};
        ViewingGeometry g = checked_geometry(preset->form, style);
        g.source = preset->name;
        return g;
    }
    if (given == nullptr) return default_viewing_geometry();
    std::vector<std::string> missing;
    for (const FieldOf& f : given->fields) {
        const std::optional<double>& value = options.*f.value;
        if (!value) {
            missing.push_back(name(f.field));
        } else if (!std::isfinite(*value) || !(*value > 0.0)) {
            raise_failure(FailureKind::viewing_value_not_positive, {},
                          {name(f.field), value_text(*value)});
        }
    }
    if (!missing.empty()) {
        raise_failure(FailureKind::viewing_form_incomplete, {},
                      {given_names(options, style), joined(missing)});
    }
    return {form_angle(options, given->source), given->source};
}

}  // namespace

std::string viewing_option_name(ViewingField field, OptionStyle style) {
    const char* name = "viewing";
    switch (field) {
        case ViewingField::ppd:
            name = "ppd";
            break;
        case ViewingField::display_width_cm:
            name = "display-width-cm";
            break;
        case ViewingField::display_width_pixels:
            name = "display-width-pixels";
            break;
        case ViewingField::distance_cm:
            name = "distance-cm";
            break;
        case ViewingField::distance_heights:
            name = "distance-heights";
            break;
        case ViewingField::display_height_pixels:
            name = "display-height-pixels";
            break;
        case ViewingField::preset:
            name = "viewing";
            break;
    }
    std::string text = name;
    if (style == OptionStyle::command_line) return "--" + text;
    for (char& c : text) {
        if (c == '-') c = '_';
    }
    return text;
}

bool viewing_options_empty(const ViewingOptions& o) {
    return !o.ppd && !o.display_width_cm && !o.display_width_pixels && !o.distance_cm &&
           !o.distance_heights && !o.display_height_pixels && !o.preset;
}

const std::vector<ViewingPreset>& viewing_presets() {
    // The fixed geometry: a 14.0-inch 16:9 panel is 14.0 * 1920 / sqrt(1920^2 + 1080^2) inches
    // wide; a distance factor of 0.04 puts the eye 25 inches away.
    const double inch = 2.54;
    const double laptop_width = 14.0 * inch * 1920.0 / std::sqrt(1920.0 * 1920.0 + 1080.0 * 1080.0);
    const auto display = [](double cm, double pixels, double distance) {
        ViewingOptions o;
        o.display_width_cm = cm;
        o.display_width_pixels = pixels;
        o.distance_cm = distance;
        return o;
    };
    const auto heights = [](double h, double lines) {
        ViewingOptions o;
        o.distance_heights = h;
        o.display_height_pixels = lines;
        return o;
    };
    static const std::vector<ViewingPreset> presets = {
        {"laptop14", "14-inch full-HD laptop at 63.5 cm (the fixed geometry)",
         display(laptop_width, 1920.0, 25.0 * inch), true},
        {"desktop27-4k", "27-inch 4K monitor, 59.8 cm and 3840 pixels wide, at 60 cm",
         display(59.8, 3840.0, 60.0)},
        {"tv-uhd-1.5h", "UHD television, 2160 lines, at 1.5 picture heights", heights(1.5, 2160.0)},
        {"tv-uhd-3h", "UHD television, 2160 lines, at 3 picture heights", heights(3.0, 2160.0)},
        {"tv-hd-3h", "HD television, 1080 lines, at 3 picture heights", heights(3.0, 1080.0)},
        {"phone", "6.1-inch 2532 x 1170 phone, 6.5 cm and 1170 pixels wide, at 30 cm",
         display(6.5, 1170.0, 30.0)},
    };
    return presets;
}

const ViewingPreset* find_viewing_preset(const std::string& name) {
    for (const ViewingPreset& p : viewing_presets()) {
        if (name == p.name) return &p;
    }
    return nullptr;
}

ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style) {
    ViewingGeometry g = checked_geometry(options, style);
    const double ppd = pixels_per_degree(g);
    if (!(ppd >= 1.0)) {
        raise_failure(FailureKind::viewing_below_one, {},
                      {given_names(options, style), ppd_text(ppd)});
    }
    return g;
}

ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style, double max_ppd) {
    ViewingGeometry g = viewing_geometry(options, style);
    const double ppd = pixels_per_degree(g);
    if (!(ppd <= max_ppd)) {
        raise_failure(FailureKind::viewing_above_filters, {},
                      {given_names(options, style), ppd_text(ppd), ppd_limit_text(max_ppd)});
    }
    return g;
}

ViewingGeometry viewing_geometry(const ViewingOptions& options, OptionStyle style,
                                 const AtdFilters& filters, double sample_angle) {
    return viewing_geometry(options, style, max_pixels_per_degree(filters, sample_angle));
}

double pixels_per_degree(const ViewingGeometry& geometry) {
    return 1.0 / geometry.pixel_angle_degrees;
}

std::string ppd_text(double ppd) { return fixed_text(ppd, 2); }

std::string ppd_limit_text(double max_ppd) {
    return fixed_text(std::floor(max_ppd * 100.0) / 100.0, 2);
}

bool is_viewing_refusal(FailureKind kind) {
    switch (kind) {
        case FailureKind::viewing_value_not_positive:
        case FailureKind::viewing_form_incomplete:
        case FailureKind::viewing_two_forms:
        case FailureKind::viewing_unknown_preset:
        case FailureKind::viewing_below_one:
        case FailureKind::viewing_above_filters:
            return true;
        default:
            return false;
    }
}

}  // namespace orv
