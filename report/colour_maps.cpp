#include "report/colour_maps.h"

#include <cmath>

namespace orv {

namespace {

std::uint8_t to_byte(double component) {
    const double scaled = std::round(component * 255.0);
    return static_cast<std::uint8_t>(scaled < 0.0 ? 0.0 : (scaled > 255.0 ? 255.0 : scaled));
}

}  // namespace

std::string_view colour_map_name(ColourMap map) {
    return map == ColourMap::magma ? "magma" : "viridis";
}

std::optional<ColourMap> colour_map_from_name(std::string_view name) {
    if (name == "viridis") return ColourMap::viridis;
    if (name == "magma") return ColourMap::magma;
    return std::nullopt;
}

Rgb colour_map_entry(ColourMap map, int index) {
    const ColourMapTable& table = map == ColourMap::magma ? magma_table : viridis_table;
    const auto& e = table[static_cast<std::size_t>(index < 0 ? 0 : (index > 255 ? 255 : index))];
    return {to_byte(e[0]), to_byte(e[1]), to_byte(e[2])};
}

int colour_map_index(double value, double scale_max) {
    if (!(value > 0.0) || !(scale_max > 0.0)) return 0;
    if (value >= scale_max) return 255;
    const int index = static_cast<int>(std::lround(value / scale_max * 255.0));
    return index > 255 ? 255 : index;
}

}  // namespace orv
