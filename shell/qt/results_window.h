#pragma once
// The results window: the per-frame mean, 95th percentile and maximum of the colour
// differences against the frame number, drawn with QPainter, and the pooled figures above the
// plot. A click on the plot shows the frame under it in the main window's panes. It reads
// the frame store on every paint, so it follows each new colour-difference run.

#include <functional>

#include <QWidget>

#include "shell/frame_store.h"
#include "shell/results.h"

namespace orv {

class ResultsWindow : public QWidget {
public:
    ResultsWindow(FrameStore& store, std::function<void(int frame)> on_frame, QWidget* parent);
    // The plot as the last paint laid it out, for tests.
    const PlotArea& area() const { return area_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    FrameStore& store_;
    std::function<void(int)> on_frame_;
    PlotArea area_;
};

}  // namespace orv
