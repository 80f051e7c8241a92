#include "shell/qt/results_window.h"

#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace orv {

namespace {

struct Series {
    const char* name;
    QColor colour;
    double ResultsPoint::*value;
};

}  // namespace

ResultsWindow::ResultsWindow(FrameStore& store, std::function<void(int)> on_frame, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), on_frame_(std::move(on_frame)) {
    setWindowTitle(QStringLiteral("結果 — フレームごとの S-CIELAB 色差"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(820, 460);
}

void ResultsWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const ResultsView view = results_view(store_);
    area_ = plot_area(view, width(), height());

    int y = 8;
    for (const std::string& line : pooled_lines(view)) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(12, y, width() - 24, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(line));
        y += 20;
    }
    if (view.points.empty()) return;

    // Axes, value grid and labels.
    const QRectF plot(area_.left, area_.top, area_.width, area_.height);
    painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    for (int k = 0; k <= 4; ++k) {
        const double value = area_.value_max * k / 4.0;
        const double gy = plot_y(area_, value);
        painter.drawLine(QPointF(plot.left(), gy), QPointF(plot.right(), gy));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, gy - 9, area_.left - 6, 18), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(value, 'g', 4));
        painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    const int last = area_.last_frame;
    const int ticks = std::min(last, 10);
    for (int k = 0; k <= ticks; ++k) {
        const int frame = ticks == 0 ? 0 : static_cast<int>(std::lround(last * k / double(ticks)));
        const double gx = plot_x(area_, frame);
        painter.drawLine(QPointF(gx, plot.bottom()), QPointF(gx, plot.bottom() + 4));
        painter.drawText(QRectF(gx - 30, plot.bottom() + 6, 60, 16), Qt::AlignCenter,
                         QString::number(frame + 1));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + 24, plot.width(), 18), Qt::AlignCenter,
                     QStringLiteral("フレーム"));
    painter.save();
    painter.translate(14, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-60, -10, 120, 20), Qt::AlignCenter, QStringLiteral("⊿E"));
    painter.restore();

    // The current frame.
    if (store_.current_frame <= last) {
        const double cx = plot_x(area_, store_.current_frame);
        painter.setPen(QPen(QColor(0x99, 0x99, 0x99), 1, Qt::DashLine));
        painter.drawLine(QPointF(cx, plot.top()), QPointF(cx, plot.bottom()));
    }

    std::vector<Series> series = {{"最大", QColor(0xd6, 0x27, 0x28), &ResultsPoint::max}};
    if (view.has_p95) series.push_back({"95%点", QColor(0xff, 0x7f, 0x0e), &ResultsPoint::p95});
    series.push_back({"平均", QColor(0x1f, 0x77, 0xb4), &ResultsPoint::mean});
    const bool dots = view.points.size() <= 200;
    int legend_x = area_.left;
    for (const Series& s : series) {
        QPainterPath path;
        for (std::size_t i = 0; i < view.points.size(); ++i) {
            const QPointF p(plot_x(area_, view.points[i].frame),
                            plot_y(area_, view.points[i].*s.value));
            if (i == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        painter.setPen(QPen(s.colour, 1.6));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        if (dots) {
            painter.setBrush(s.colour);
            for (const ResultsPoint& p : view.points) {
                painter.drawEllipse(QPointF(plot_x(area_, p.frame), plot_y(area_, p.*s.value)), 2.5,
                                    2.5);
            }
        }
        // Legend above the plot.
        painter.setPen(QPen(s.colour, 3));
        painter.drawLine(QPointF(legend_x, area_.top - 12), QPointF(legend_x + 20, area_.top - 12));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(legend_x + 24, area_.top - 21, 70, 18),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(s.name));
        legend_x += 90;
    }
    painter.setPen(QColor(0x70, 0x70, 0x70));
    painter.drawText(QRectF(legend_x + 10, area_.top - 21, width() - legend_x - 20, 18),
                     Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("点をクリックするとそのフレームを表示します"));
}

void ResultsWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || results_view(store_).points.empty()) return;
    const QPoint p = event->position().toPoint();
    const int frame = frame_at(area_, p.x(), p.y());
    if (frame >= 0 && on_frame_) on_frame_(frame);
    update();
}

}  // namespace orv
