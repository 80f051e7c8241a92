#include "shell/viewing_settings.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "scielab/filter_kernels.h"
#include "shell/failure_texts.h"

namespace orv {

namespace {

// The shortest text that reads back as the value.
std::string short_text(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

// A field's number, read in the C form whatever the locale; blanks around it are allowed.
std::optional<double> field_number(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    double value = 0.0;
    const auto read = std::from_chars(begin, end, value);
    if (read.ec != std::errc() || read.ptr != end) {
        raise_failure(FailureKind::value_not_a_number, {}, {text.substr(first, last - first + 1)});
    }
    return value;
}

// The figures a mode shows when it is chosen: the fixed geometry's own where it has them.
void default_figures(std::vector<std::string>& f) {
    const ViewingPreset* laptop = find_viewing_preset("laptop14");
    f[field_ppd] = fixed_text(pixels_per_degree(default_viewing_geometry()), 2);
    f[field_width_cm] = fixed_text(*laptop->form.display_width_cm, 2);
    f[field_width_pixels] = "1920";
    f[field_distance_cm] = fixed_text(*laptop->form.distance_cm, 1);
    f[field_heights] = "3";
    f[field_height_pixels] = "1080";
}

// "a,b,c" as numbers; empty when any is not one.
std::vector<double> numbers_of(const std::string& text, std::size_t count) {
    std::vector<double> values;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        double v = 0.0;
        const auto read = std::from_chars(part.data(), part.data() + part.size(), v);
        if (read.ec != std::errc() || read.ptr != part.data() + part.size()) return {};
        values.push_back(v);
    }
    if (values.size() != count) return {};
    return values;
}

}  // namespace

const std::vector<std::string>& viewing_mode_texts() {
    static const std::vector<std::string> texts = {
        "既定 (14型フルHDノートPC、約64 cm)",  "1度あたりの画素数", "画面の幅・画素数・視距離",
        "視距離 (画面の高さの倍数)・走査線数", "プリセット",
    };
    return texts;
}

const std::vector<std::string>& viewing_preset_texts() {
    static const std::vector<std::string> texts = {
        "laptop14: 14型フルHDノートPC、63.5 cm (既定)", "desktop27-4k: 27型4Kモニター、60 cm",
        "tv-uhd-1.5h: UHDテレビ、画面の高さの1.5倍",    "tv-uhd-3h: UHDテレビ、画面の高さの3倍",
        "tv-hd-3h: HDテレビ、画面の高さの3倍",          "phone: 6.1型スマートフォン、30 cm",
    };
    return texts;
}

const std::vector<std::string>& viewing_field_labels() {
    static const std::vector<std::string> labels = {
        "1度あたりの画素数",         "画面の幅 (cm)",
        "画面の横の画素数",          "視距離 (cm)",
        "視距離 (画面の高さの倍数)", "画面の縦の画素数 (走査線数)",
    };
    return labels;
}

ViewingDialogState default_viewing_dialog_state() {
    ViewingDialogState s;
    default_figures(s.fields);
    return s;
}

ViewingDialogState viewing_dialog_state(const ViewingOptions& o) {
    ViewingDialogState s = default_viewing_dialog_state();
    const auto put = [&s](int field, const std::optional<double>& value) {
        if (value) s.fields[static_cast<std::size_t>(field)] = short_text(*value);
    };
    if (o.preset) {
        const auto& presets = viewing_presets();
        for (std::size_t k = 0; k < presets.size(); ++k) {
            if (*o.preset == presets[k].name) {
                s.mode = ViewingMode::preset;
                s.preset = static_cast<int>(k);
            }
        }
        return s;
    }
    put(field_ppd, o.ppd);
    put(field_width_cm, o.display_width_cm);
    put(field_width_pixels, o.display_width_pixels);
    put(field_distance_cm, o.distance_cm);
    put(field_heights, o.distance_heights);
    put(field_height_pixels, o.display_height_pixels);
    if (o.ppd) s.mode = ViewingMode::ppd;
    if (o.display_width_cm || o.display_width_pixels || o.distance_cm)
        s.mode = ViewingMode::display;
    if (o.distance_heights || o.display_height_pixels) s.mode = ViewingMode::heights;
    return s;
}

bool viewing_field_used(ViewingMode mode, int field) {
    switch (mode) {
        case ViewingMode::ppd:
            return field == field_ppd;
        case ViewingMode::display:
            return field == field_width_cm || field == field_width_pixels ||
                   field == field_distance_cm;
        case ViewingMode::heights:
            return field == field_heights || field == field_height_pixels;
        default:
            return false;
    }
}

ViewingOptions viewing_dialog_options(const ViewingDialogState& s) {
    ViewingOptions o;
    const auto field = [&s](int k) { return field_number(s.fields[static_cast<std::size_t>(k)]); };
    switch (s.mode) {
        case ViewingMode::standard:
            break;
        case ViewingMode::ppd:
            o.ppd = field(field_ppd);
            break;
        case ViewingMode::display:
            o.display_width_cm = field(field_width_cm);
            o.display_width_pixels = field(field_width_pixels);
            o.distance_cm = field(field_distance_cm);
            break;
        case ViewingMode::heights:
            o.distance_heights = field(field_heights);
            o.display_height_pixels = field(field_height_pixels);
            break;
        case ViewingMode::preset: {
            const auto& presets = viewing_presets();
            const auto k = static_cast<std::size_t>(s.preset);
            o.preset = k < presets.size() ? presets[k].name : "";
            break;
        }
    }
    return o;
}

std::string viewing_preview(const ViewingDialogState& state, const FrameStore& store) {
    try {
        const ViewingOptions options = viewing_dialog_options(state);
        const ViewingGeometry g = store.atd_filter_set == 1
                                      ? viewing_geometry(options, OptionStyle::keyword,
                                                         store.atd_filters, kernel_sample_angle)
                                      : viewing_geometry(options, OptionStyle::keyword);
        return ppd_text(pixels_per_degree(g)) + " 画素/度 (1画素の視角 " +
               fixed_text(g.pixel_angle_degrees, 7) + "°)";
    } catch (const Failure& failure) {
        return gui_failure_line(failure);
    }
}

std::string viewing_setting_text(const ViewingOptions& o) {
    if (o.preset) return "preset=" + *o.preset;
    if (o.ppd) return "ppd=" + short_text(*o.ppd);
    if (o.display_width_cm && o.display_width_pixels && o.distance_cm) {
        return "display=" + short_text(*o.display_width_cm) + "," +
               short_text(*o.display_width_pixels) + "," + short_text(*o.distance_cm);
    }
    if (o.distance_heights && o.display_height_pixels) {
        return "heights=" + short_text(*o.distance_heights) + "," +
               short_text(*o.display_height_pixels);
    }
    return "";
}

ViewingOptions parse_viewing_setting(const std::string& text) {
    ViewingOptions o;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) return o;
    const std::string key = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    if (key == "preset") {
        o.preset = value;
    } else if (key == "ppd") {
        if (const auto v = numbers_of(value, 1); !v.empty()) o.ppd = v[0];
    } else if (key == "display") {
        if (const auto v = numbers_of(value, 3); !v.empty()) {
            o.display_width_cm = v[0];
            o.display_width_pixels = v[1];
            o.distance_cm = v[2];
        }
    } else if (key == "heights") {
        if (const auto v = numbers_of(value, 2); !v.empty()) {
            o.distance_heights = v[0];
            o.display_height_pixels = v[1];
        }
    }
    // A setting the checks refuse (a preset this version does not know, a value out of
    // range) falls back to the fixed geometry.
    try {
        (void)viewing_geometry(o, OptionStyle::keyword);
    } catch (const Failure&) {
        return {};
    }
    return o;
}

ViewingGeometry store_viewing_geometry(const FrameStore& store) {
    return viewing_geometry(store.viewing, OptionStyle::keyword, store.atd_filters,
                            kernel_sample_angle);
}

std::string viewing_quarter_line(const FrameStore& store) {
    if (viewing_options_empty(store.viewing)) return "";
    try {
        const ViewingGeometry g = viewing_geometry(store.viewing, OptionStyle::keyword);
        if (g.pixel_angle_degrees == default_viewing_geometry().pixel_angle_degrees) return "";
        return "観察条件: " + ppd_text(pixels_per_degree(g)) + " 画素/度 (" + g.source + ")";
    } catch (const Failure&) {
        return "";
    }
}

}  // namespace orv
