#pragma once
// The heatmap's colour bar beside the lower pane: the report's colours on the heatmap scale,
// drawn at a fixed on-screen size with its labels in the window's font.

#include <QFont>
#include <QPoint>

class QPainter;

namespace orv {

// Draws the colour bar (0 .. the heatmap scale, labelled in `font`) with its top left at
// `top_left`; returns the right edge of what it drew.
int draw_colour_bar(QPainter& painter, const QFont& font, QPoint top_left);

}  // namespace orv
