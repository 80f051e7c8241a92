#pragma once
// One image pane: a framed child of the main window's client area that draws the current
// frame of its table (shell/panes.h decides what) and has a three-part status strip at its
// bottom. Mouse moves over any pane go to the pane logic, which repaints all three.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QFrame>
#include <QImage>
#include <QString>

#include "shell/frame_store.h"
#include "shell/panes.h"

class QSizeGrip;

namespace orv {

// The status bar of a pane, in the platform's status-bar look and font: three parts, each as
// wide as the widest readout of its pane in that font (a text wider than its part would be
// elided), and a size grip for the main window at its right end.
class StatusStrip : public QWidget {
public:
    StatusStrip(Pane pane, QWidget* parent);
    void set_part_text(int part, const QString& text);
    QString part_text(int part) const { return texts_[static_cast<std::size_t>(part)]; }
    // Right edges of the three parts, in pixels.
    const std::array<int, 3>& part_edges() const { return edges_; }
    // Where part `part`'s text is drawn.
    QRect text_rect(int part) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void measure_parts();

    Pane pane_;
    std::array<QString, 3> texts_;
    std::array<int, 3> edges_ = status_part_edges;
    QSizeGrip* grip_;
};

class ImagePane : public QFrame {
public:
    ImagePane(Pane kind, FrameStore& store, std::function<void(int, int)> on_mouse_move,
              QWidget* parent);

    // Files dropped on the pane (local paths in the order given); the upper panes take drops.
    void set_drop_handler(std::function<void(const std::vector<std::string>&)> on_drop);
    // Called after Ctrl+wheel zoomed or a drag panned the panes (the store's view changed).
    void set_view_handler(std::function<void()> on_view_changed);

    Pane kind() const { return kind_; }
    StatusStrip* status() const { return status_; }
    // Forgets the converted image, so the next paint converts the frame again (its pixels may
    // have changed in place). Requested by every repaint with erasing.
    void drop_image_cache() { cached_source_ = nullptr; }
    // The last paint's result, for tests.
    const PaneDrawing& last_drawing() const { return last_drawing_; }
    // The last image drawn, converted (top row first).
    const QImage& shown_image() const { return cached_image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    const QImage& image_of(const PixelBuffer& buffer);

    Pane kind_;
    FrameStore& store_;
    std::function<void(int, int)> on_mouse_move_;
    std::function<void(const std::vector<std::string>&)> on_drop_;
    std::function<void()> on_view_changed_;
    // A drag that pans: where it started and the view then.
    bool dragging_ = false;
    QPoint drag_from_;
    QPoint view_from_;
    int wheel_rest_ = 0;
    StatusStrip* status_;
    PaneDrawing last_drawing_;
    // The frame converted once into a top-down native image; reused until the buffer or its
    // contents change, so mouse moves only blit.
    QImage cached_image_;
    const std::uint8_t* cached_source_ = nullptr;
    int cached_width_ = 0;
    int cached_height_ = 0;
    int cached_stride_ = 0;
};

}  // namespace orv
