#pragma once
// The main window over Qt: caption "ORV 2.0", the menu "MYMENU", a white client area with the
// three panes placed by the layout rule, and the Qt implementation of the platform seam.

#include <array>
#include <map>

#include <QMainWindow>
#include <QPointer>

#include "shell/frame_store.h"
#include "shell/main_window.h"
#include "shell/navigation.h"
#include "shell/platform.h"
#include "shell/qt/colour_bar.h"
#include "shell/qt/image_pane.h"
#include "shell/qt/results_window.h"

class QAction;
class QPainter;
class QScreen;
class QProgressDialog;

namespace orv {

class MainWindowQt;

// The client area: white, holds the panes, and receives the clicks no pane covers.
class ClientArea : public QWidget {
public:
    explicit ClientArea(MainWindowQt& window);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    MainWindowQt& window_;
    int wheel_rest_ = 0;  // wheel angle not yet turned into steps (touch pads send small ones)
};

class MainWindowQt : public QMainWindow {
public:
    explicit MainWindowQt(FrameStore& store, QWidget* parent = nullptr);
    ~MainWindowQt() override;

    // The seam the commands use. Tests may replace single operations (file answers).
    Platform& platform() { return platform_; }
    FrameStore& store() { return store_; }
    ImagePane* pane(Pane kind) const { return panes_[static_cast<std::size_t>(kind)]; }
    ClientArea* client() const { return client_; }
    const PaneLayout& layout() const { return layout_; }
    QAction* action(int command_id) const;
    bool busy() const { return busy_; }
    ResultsWindow* results_window() const { return results_; }
    // The progress window of the run going on, or null.
    QProgressDialog* progress_window() const;

    // Runs a menu command; ignored while another command is running.
    void run_command(int command_id);
    // Repaint request of the seam: the main window (all three panes) or one pane.
    void invalidate(Window window, bool erase);
    // Places the panes for the client area's current size.
    void apply_layout();
    // The white lower-right quarter no pane covers, in client coordinates.
    QRect quarter_rect() const;
    // Frame stepping from the keys and the wheel; ignored while a command runs.
    bool step(FrameStep step);
    bool key(StepKey key);
    bool wheel(int delta);
    // Files dropped on a pane.
    void drop(Pane pane, const std::vector<std::string>& paths);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_menu();
    // Keeps the view options and the window's geometry for the next start.
    void remember_view() const;
    void sync_checks();
    void fill_platform();
    QWidget* owner_widget(Window owner);
    void show_progress(const std::string& label, int done, int total);
    void show_results_window();

    FrameStore& store_;
    Platform platform_;
    ClientArea* client_ = nullptr;
    std::array<ImagePane*, 3> panes_{};
    PaneLayout layout_;
    std::map<int, QAction*> actions_;
    QPointer<QProgressDialog> progress_;
    QPointer<ResultsWindow> results_;
    bool busy_ = false;
    bool cancel_requested_ = false;  // キャンセル of the progress window of the current run
    bool close_confirmed_ = false;
};

// The width a window needs to show `caption` whole in its title bar, at most the width of
// `screen` (when given). Message boxes are made at least this wide.
int caption_window_width(const QString& caption, const QScreen* screen);

// Loads Qt's own Japanese translations (message-box buttons and dialog texts) into the
// application; false when they are not installed.
bool install_japanese_translations();

}  // namespace orv
