#pragma once
// The perceptual colour maps viridis and magma: the 256-entry tables published by van der
// Walt and Smith (2015, public domain), kept in report/data/ as CSV. Difference maps are
// coloured on a fixed scale from 0 to a chosen maximum, so two frames' pictures compare.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orv {

using ColourMapTable = std::array<std::array<double, 3>, 256>;  // red, green, blue in 0 .. 1
extern const ColourMapTable viridis_table;
extern const ColourMapTable magma_table;

enum class ColourMap { viridis, magma };

std::string_view colour_map_name(ColourMap map);
std::optional<ColourMap> colour_map_from_name(std::string_view name);

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// Entry `index` (0 .. 255) as 8-bit values, each component rounded to nearest.
Rgb colour_map_entry(ColourMap map, int index);

// The table entry of `value` on the scale 0 .. scale_max: round(value / scale_max * 255),
// so 0 gives entry 0 and scale_max entry 255; values above the scale take entry 255, values
// below 0 (and NaN) entry 0.
int colour_map_index(double value, double scale_max);

}  // namespace orv
