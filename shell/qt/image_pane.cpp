#include "shell/qt/image_pane.h"

#include <cstdint>
#include <utility>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QUrl>
#include <QWheelEvent>

#include "shell/view_zoom.h"

namespace orv {

namespace {

// Frame and margins of a part around its text: the cell's 2 pixels and 3 on each side.
constexpr int part_padding = 2 + 3 + 3 + 2;

}  // namespace

StatusStrip::StatusStrip(Pane pane, QWidget* parent)
    : QWidget(parent), pane_(pane), grip_(new QSizeGrip(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The platform's status-bar font, as it is: the parts are made wide enough for it.
    setFont(QApplication::font("QStatusBar"));
    measure_parts();
    // grip_ resizes the main window, as a status bar's size grip does; it hides itself while
    // the window is maximised.
}

void StatusStrip::measure_parts() {
    const QFontMetrics metrics = fontMetrics();
    const std::array<std::string, 3> widest = widest_readouts(pane_);
    std::array<int, 3> widths{};
    for (std::size_t part = 0; part < widest.size(); ++part) {
        widths[part] = metrics.horizontalAdvance(QString::fromStdString(widest[part]));
    }
    edges_ = status_part_edges_for(widths, part_padding);
}

void StatusStrip::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        measure_parts();
        update();
    }
}

QRect StatusStrip::text_rect(int part) const {
    const auto p = static_cast<std::size_t>(part);
    const int left = p == 0 ? 0 : edges_[p - 1];
    const int right = std::min(edges_[p], width());
    return QRect(left, 1, right - left - 2, height() - 2).adjusted(3, 0, -3, 0);
}

void StatusStrip::set_part_text(int part, const QString& text) {
    QString& held = texts_[static_cast<std::size_t>(part)];
    if (held == text) return;
    held = text;
    update();
}

QSize StatusStrip::sizeHint() const {
    return {edges_[2], std::max(status_bar_height, fontMetrics().height() + 6)};
}

void StatusStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize grip = grip_->sizeHint();
    grip_->setGeometry(width() - grip.width(), height() - grip.height(), grip.width(),
                       grip.height());
}

void StatusStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The status bar's own look, not the white of the pane around it.
    const QPalette palette = QApplication::palette("QStatusBar");
    QStyleOption option;
    option.initFrom(this);
    option.palette = palette;
    painter.fillRect(rect(), palette.window());
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
    int left = 0;
    for (std::size_t part = 0; part < texts_.size(); ++part) {
        const int right = std::min(edges_[part], width());
        if (right <= left) break;
        const QRect cell(left, 1, right - left - 2, height() - 2);
        option.rect = cell;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &option, &painter, this);
        const QRect text = text_rect(static_cast<int>(part));
        painter.setPen(palette.color(QPalette::WindowText));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(texts_[part], Qt::ElideRight, text.width()));
        left = right;
    }
}

ImagePane::ImagePane(Pane kind, FrameStore& store, std::function<void(int, int)> on_mouse_move,
                     QWidget* parent)
    : QFrame(parent),
      kind_(kind),
      store_(store),
      on_mouse_move_(std::move(on_mouse_move)),
      status_(new StatusStrip(kind, this)) {
    // A sunken, bordered child; its frame width is the border of the layout rule.
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setMouseTracking(true);
    // The pane paints every pixel itself: the image over its rectangle and the white
    // background only around it, so a repaint never erases the image first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImagePane::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const QRect inside = contentsRect();
    const int h = status_->sizeHint().height();
    status_->setGeometry(inside.left(), inside.bottom() + 1 - h, inside.width(), h);
}

const QImage& ImagePane::image_of(const PixelBuffer& buffer) {
    if (cached_source_ != buffer.bytes.data() || cached_width_ != buffer.width ||
        cached_height_ != buffer.height || cached_stride_ != buffer.stride) {
        // The buffer's rows are bottom-up, B,G,R bytes: one pass turns them into a top-down
        // native image (a third of the time of Qt's flip and format conversion one after the
        // other on a full-HD frame, which a step pays for three panes). A frame of the size
        // shown before is written over the image already there: a fresh image every step
        // would take memory the process has never touched, far slower to write the first
        // time on some machines (virtual ones whose host takes free memory back).
        if (cached_image_.width() != buffer.width || cached_image_.height() != buffer.height ||
            cached_image_.format() != QImage::Format_RGB32) {
            cached_image_ = QImage(buffer.width, buffer.height, QImage::Format_RGB32);
        }
        QImage& image = cached_image_;
        for (int y = 0; y < buffer.height && !image.isNull(); ++y) {
            const std::uint8_t* source =
                buffer.bytes.data() + static_cast<std::size_t>(buffer.height - 1 - y) *
                                          static_cast<std::size_t>(buffer.stride);
            auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < buffer.width; ++x, source += 3) {
                target[x] = qRgb(source[2], source[1], source[0]);
            }
        }
        cached_source_ = buffer.bytes.data();
        cached_width_ = buffer.width;
        cached_height_ = buffer.height;
        cached_stride_ = buffer.stride;
    }
    return cached_image_;
}

void ImagePane::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRegion(event->region());

    last_drawing_ =
        paint_pane(store_, kind_, inside.width(), inside.height(), status_->sizeHint().height());
    QRect image_rect;
    if (last_drawing_.drawn && last_drawing_.image != nullptr && last_drawing_.dest_width > 0 &&
        last_drawing_.dest_height > 0) {
        image_rect =
            QRect(inside.topLeft(), QSize(last_drawing_.dest_width, last_drawing_.dest_height));
        painter.save();
        painter.setClipRect(inside, Qt::IntersectClip);
        // One stretching blit, nearest pixel as the window system's plain copy does.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(image_rect, image_of(*last_drawing_.image),
                          QRect(last_drawing_.source_x, last_drawing_.source_y,
                                last_drawing_.source_width, last_drawing_.source_height));
        if (last_drawing_.grid) {
            // A line between the image pixels, dark enough on light and light on dark.
            painter.setPen(QColor(128, 128, 128, 110));
            const double step = last_drawing_.scale;
            for (int i = 1; i < last_drawing_.source_width; ++i) {
                const int x = image_rect.left() + static_cast<int>(i * step);
                painter.drawLine(x, image_rect.top(), x, image_rect.bottom());
            }
            for (int i = 1; i < last_drawing_.source_height; ++i) {
                const int y = image_rect.top() + static_cast<int>(i * step);
                painter.drawLine(image_rect.left(), y, image_rect.right(), y);
            }
        }
        painter.restore();
    }
    QRegion background(inside);
    if (!image_rect.isNull()) background -= QRegion(image_rect);
    for (const QRect& r : background) painter.fillRect(r, Qt::white);
    painter.end();

    // The frame after the contents, so it stays on top.
    QPainter frame_painter(this);
    drawFrame(&frame_painter);
    frame_painter.end();

    for (int part = 0; part < 3; ++part) {
        const auto& text = last_drawing_.status[static_cast<std::size_t>(part)];
        // A pane with nothing to show keeps no readout of what it showed before.
        if (text || !last_drawing_.drawn) {
            status_->set_part_text(part, QString::fromStdString(text.value_or(std::string())));
        }
    }
}

void ImagePane::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint() - contentsRect().topLeft();
    if (dragging_ && (event->buttons() & Qt::LeftButton) && store_.zoom > 0.0) {
        const QPoint moved = p - drag_from_;
        pan_view(store_, view_from_.x(), view_from_.y(), moved.x(), moved.y());
        if (on_view_changed_) on_view_changed_();
    }
    if (on_mouse_move_) on_mouse_move_(p.x(), p.y());
}

void ImagePane::set_view_handler(std::function<void()> on_view_changed) {
    on_view_changed_ = std::move(on_view_changed);
}

void ImagePane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    event->accept();
}

void ImagePane::wheelEvent(QWheelEvent* event) {
    // The plain wheel is not the pane's: it steps frames over the quarter.
    if (!(event->modifiers() & Qt::ControlModifier) || store_.image_loaded != 1) {
        event->ignore();
        return;
    }
    // Ctrl+wheel: one zoom level a notch, around the pixel under the pointer.
    const QPoint p = event->position().toPoint() - contentsRect().topLeft();
    wheel_rest_ += event->angleDelta().y();
    while (wheel_rest_ >= 120 || wheel_rest_ <= -120) {
        const int notch = wheel_rest_ > 0 ? 1 : -1;
        wheel_rest_ -= 120 * notch;
        zoom_at(store_, next_zoom(store_, notch), p.x(), p.y());
    }
    if (on_view_changed_) on_view_changed_();
    if (on_mouse_move_) on_mouse_move_(p.x(), p.y());
    event->accept();
}

void ImagePane::set_drop_handler(std::function<void(const std::vector<std::string>&)> on_drop) {
    on_drop_ = std::move(on_drop);
    setAcceptDrops(static_cast<bool>(on_drop_));
}

namespace {

std::vector<std::string> local_files(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

}  // namespace

void ImagePane::dragEnterEvent(QDragEnterEvent* event) {
    if (on_drop_ && !local_files(event->mimeData()).empty()) event->acceptProposedAction();
}

void ImagePane::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = local_files(event->mimeData());
    if (!on_drop_ || paths.empty()) return;
    event->acceptProposedAction();
    on_drop_(paths);
}

void ImagePane::mousePressEvent(QMouseEvent* event) {
    // Clicks inside a pane are not passed on to the main window: they never step frames.
    // While zoomed, the left button drags the three panes' view.
    if (event->button() == Qt::LeftButton && store_.zoom > 0.0) {
        dragging_ = true;
        drag_from_ = event->position().toPoint() - contentsRect().topLeft();
        view_from_ = QPoint(store_.view_x, store_.view_y);
    }
    event->accept();
}

}  // namespace orv
