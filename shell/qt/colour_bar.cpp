#include "shell/qt/colour_bar.h"

#include <algorithm>
#include <cmath>

#include <QFontMetrics>
#include <QPainter>

#include "report/colour_maps.h"
#include "report/heatmap.h"

namespace orv {

int draw_colour_bar(QPainter& painter, const QFont& font, QPoint top_left) {
    const HeatmapStyle style;
    const QFontMetrics metrics(font);
    const int bar_height = 200;
    const int half_text = metrics.height() / 2;
    const QRect bar(top_left.x(), top_left.y() + half_text, 16, bar_height);
    for (int y = 0; y < bar_height; ++y) {
        // Top row the scale's maximum, bottom row 0.
        const double value = style.scale_max * (bar_height - 1 - y) / (bar_height - 1);
        const Rgb c = colour_map_entry(style.colours, colour_map_index(value, style.scale_max));
        painter.fillRect(QRect(bar.left(), bar.top() + y, bar.width(), 1), QColor(c.r, c.g, c.b));
    }
    painter.setPen(Qt::black);
    painter.setFont(font);
    const std::vector<double> ticks = colour_bar_ticks(style.scale_max, 5);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : style.scale_max;
    int right = bar.right();
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const int y = bar.bottom() -
                      static_cast<int>(std::lround(ticks[i] / style.scale_max * (bar_height - 1)));
        painter.drawLine(bar.right() + 1, y, bar.right() + 4, y);
        // The top label carries a "+": values beyond the scale share its colour.
        QString label = QString::fromStdString(tick_label(ticks[i], step));
        if (i + 1 == ticks.size() && ticks[i] >= style.scale_max) label += QLatin1Char('+');
        const QRect text(bar.right() + 7, y - half_text, metrics.horizontalAdvance(label) + 2,
                         metrics.height());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, label);
        right = std::max(right, text.right());
    }
    const QString unit = QStringLiteral("⊿E");
    painter.drawText(QPoint(bar.left(), bar.bottom() + half_text + metrics.ascent() + 4), unit);
    return std::max(right, bar.left() + metrics.horizontalAdvance(unit));
}

}  // namespace orv
