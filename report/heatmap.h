#pragma once
// Heatmaps of colour-difference maps: each value coloured on a fixed scale from 0 to a chosen
// maximum (values above it take the top colour), with a colour bar and its labels to the
// right of the picture.

#include <string>
#include <vector>

#include "colour/colour_types.h"
#include "report/colour_maps.h"
#include "report/rgb_image.h"

namespace orv {

struct HeatmapStyle {
    double scale_max = 5.0;  // the value that takes the top colour
    ColourMap colours = ColourMap::viridis;
};

// The map (rows bottom-up) coloured value by value, top row first.
RgbImage colour_heatmap(const InterleavedImage& map, const HeatmapStyle& style);

// colour_heatmap with the colour bar beside it: the picture at the top left of a white
// canvas, the bar to its right from 0 (bottom) to scale_max (top), tick labels right of the
// bar; the top label carries a "+" (values beyond the scale share its colour). The canvas is
// at least tall enough for the labels.
RgbImage heatmap_with_colour_bar(const InterleavedImage& map, const HeatmapStyle& style);

// The labelled values of a colour bar on 0 .. scale_max with at most `max_intervals`
// intervals: multiples of 1, 2, 2.5 or 5 times a power of ten, preferring steps that reach
// scale_max exactly.
std::vector<double> colour_bar_ticks(double scale_max, int max_intervals);

// A tick value as text with the decimals its step needs and no trailing zeros ("2.5", "10").
std::string tick_label(double value, double step);

}  // namespace orv
