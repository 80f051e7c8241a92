#include "shell/qt/main_window_qt.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QWheelEvent>

#include "resources/menu.h"
#include "shell/qt/remembered.h"
#include "shell/qt/run_dialog_qt.h"
#include "shell/slot_memory.h"

namespace orv {

namespace {

QString qt_text(const std::string& text) { return QString::fromStdString(text); }

// "BMP files(*.bmp)" already names its pattern in parentheses, as Qt's filters expect.
QStringList name_filters(const std::vector<FileTypeFilter>& filters) {
    QStringList list;
    for (const FileTypeFilter& f : filters) {
        QString text = qt_text(f.description);
        if (!text.endsWith(QStringLiteral("(") + qt_text(f.pattern) + QStringLiteral(")"))) {
            text += QStringLiteral(" (") + qt_text(f.pattern) + QStringLiteral(")");
        }
        list << text;
    }
    return list;
}

// Starts the dialog where the previous answer left off: in that folder, or on that file.
void start_dialog_at(QFileDialog& dialog, const std::string& start_text) {
    if (start_text.empty()) return;
    const QFileInfo info(qt_text(start_text));
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
    } else {
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
}

void prepare_file_dialog(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(qt_text(request.title));
    dialog.setNameFilters(name_filters(request.filters));
    dialog.setDefaultSuffix(qt_text(request.default_extension));
    // The save dialog does not ask about overwriting: the writer never overwrites.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // Where this dialog was last answered, in an earlier run too; the file-type filter of
    // that answer.
    if (const auto settings = remembered_settings()) {
        const QString folder = settings->value(dialog_folder_key(dialog.windowTitle())).toString();
        if (request.start_text.empty() && !folder.isEmpty() && QFileInfo(folder).isDir()) {
            dialog.setDirectory(folder);
        }
        const QString filter = settings->value(dialog_filter_key(dialog.windowTitle())).toString();
        if (dialog.nameFilters().contains(filter)) dialog.selectNameFilter(filter);
    }
    start_dialog_at(dialog, request.start_text);
}

// Remembers the folder and file type of an answered dialog.
void remember_answer(const QFileDialog& dialog) {
    const auto settings = remembered_settings();
    if (!settings) return;
    settings->setValue(dialog_folder_key(dialog.windowTitle()), dialog.directory().absolutePath());
    settings->setValue(dialog_filter_key(dialog.windowTitle()), dialog.selectedNameFilter());
}

// A message box at least as wide as its caption needs in the window manager's title bar
// (within the screen's width); Qt sizes it for its text and buttons only.
class CaptionMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent* event) override {
        const bool handled = QMessageBox::event(event);
        // Qt sizes the box when it is shown and on every layout request: widen it after.
        if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) {
            const int wanted = caption_window_width(windowTitle(), screen());
            if (width() < wanted) setFixedSize(wanted, height());
        }
        return handled;
    }
};

}  // namespace

int caption_window_width(const QString& caption, const QScreen* screen) {
    // Title bars are drawn in the title font, often bold; beside the caption they hold the
    // window icon and up to three buttons, each about as wide as the bar is high.
    QFont title_font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    title_font.setBold(true);
    const QFontMetrics metrics(title_font);
    const int bar_height = metrics.height() + 10;
    const int wanted = metrics.horizontalAdvance(caption) + 4 * bar_height + 40;
    if (screen == nullptr) return wanted;
    return std::min(wanted, screen->availableGeometry().width());
}

ClientArea::ClientArea(MainWindowQt& window) : QWidget(&window), window_(window) {
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    window_.apply_layout();
}

void ClientArea::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QRect quarter = window_.quarter_rect().adjusted(16, 12, -12, -12);
    if (quarter.width() <= 0 || quarter.height() <= 0) return;
    QPainter painter(this);
    // The heatmap's colour bar at the quarter's left, at a fixed size in the window's font,
    // decided from the frame store so it comes and goes with the view at once.
    if (colour_bar_shown(window_.store())) {
        const int right = draw_colour_bar(painter, font(), quarter.topLeft());
        quarter.setLeft(right + 16);
    }
    painter.setClipRect(quarter);
    const std::vector<std::string> lines = quarter_lines(window_.store());
    int y = quarter.top();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QFont f = font();
        const bool heading = i == 0 && window_.store().image_loaded == 1;
        const bool hint = i + 1 == lines.size() && lines.size() > 1;
        if (heading) {
            f.setPointSizeF(f.pointSizeF() * 1.6);
            f.setBold(true);
        }
        painter.setFont(f);
        painter.setPen(hint ? QColor(0x70, 0x70, 0x70) : QColor(Qt::black));
        const QString text = QString::fromStdString(lines[i]);
        const QRect used = painter.boundingRect(QRect(quarter.left(), y, quarter.width(), 1000),
                                                Qt::AlignLeft | Qt::TextWordWrap, text);
        painter.drawText(used, Qt::AlignLeft | Qt::TextWordWrap, text);
        y = used.bottom() + (heading ? 10 : 4);
    }
}

void ClientArea::keyPressEvent(QKeyEvent* event) {
    StepKey key = StepKey::other;
    switch (event->key()) {
        case Qt::Key_Right:
            key = StepKey::right;
            break;
        case Qt::Key_Left:
            key = StepKey::left;
            break;
        case Qt::Key_Space:
            key = StepKey::space;
            break;
        case Qt::Key_Home:
            key = StepKey::home;
            break;
        case Qt::Key_End:
            key = StepKey::end;
            break;
        default:
            break;
    }
    if (key == StepKey::other || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    window_.key(key);
    event->accept();
}

void ClientArea::wheelEvent(QWheelEvent* event) {
    if (!window_.quarter_rect().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    // One step per notch (120 units), however the device splits a notch.
    wheel_rest_ += event->angleDelta().y();
    while (wheel_rest_ >= 120 || wheel_rest_ <= -120) {
        const int notch = wheel_rest_ > 0 ? 120 : -120;
        wheel_rest_ -= notch;
        window_.wheel(notch);
    }
    event->accept();
}

void ClientArea::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || window_.busy()) return;
    const QPoint p = event->position().toPoint();
    main_window_click(window_.store(), window_.platform(), window_.layout(), width(), height(),
                      p.x(), p.y());
}

MainWindowQt::MainWindowQt(FrameStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store) {
    setObjectName(QStringLiteral("imgview"));
    setWindowTitle(QString::fromUtf8(main_window_caption));
    client_ = new ClientArea(*this);
    setCentralWidget(client_);

    const char* names[] = {"LeftWindow", "RightWindow", "UnderWindow"};
    const Pane kinds[] = {Pane::left, Pane::right, Pane::lower};
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        panes_[i] = new ImagePane(
            kinds[i], store_,
            [this](int x, int y) {
                if (!busy_) pane_mouse_move(store_, platform_, x, y);
            },
            client_);
        panes_[i]->setObjectName(QString::fromLatin1(names[i]));
    }
    panes_[0]->set_drop_handler(
        [this](const std::vector<std::string>& paths) { drop(Pane::left, paths); });
    panes_[1]->set_drop_handler(
        [this](const std::vector<std::string>& paths) { drop(Pane::right, paths); });
    for (ImagePane* pane : panes_) {
        pane->set_view_handler([this] {
            // Zoom and pan move all three panes together; the pictures stay converted.
            for (ImagePane* p : panes_) p->update();
            sync_checks();
        });
    }
    client_->setFocus();
    fill_platform();
    resize(1000, 760);
    // The view options and the geometry of the last run, where remembered.
    if (const auto settings = remembered_settings()) {
        store_.fit_to_pane = settings->value(QStringLiteral("view/fit_to_pane"), false).toBool();
        store_.heatmap_view = settings->value(QStringLiteral("view/heatmap_view"), false).toBool();
        restoreGeometry(settings->value(QStringLiteral("window/geometry")).toByteArray());
    }
    build_menu();
}

void MainWindowQt::remember_view() const {
    const auto settings = remembered_settings();
    if (!settings) return;
    settings->setValue(QStringLiteral("view/fit_to_pane"), store_.fit_to_pane);
    settings->setValue(QStringLiteral("view/heatmap_view"), store_.heatmap_view);
    settings->setValue(QStringLiteral("window/geometry"), saveGeometry());
}

MainWindowQt::~MainWindowQt() = default;

QProgressDialog* MainWindowQt::progress_window() const { return progress_.data(); }

QAction* MainWindowQt::action(int command_id) const {
    const auto it = actions_.find(command_id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindowQt::build_menu() {
    for (const Menu& menu : window_menu()) {
        QMenu* qmenu = menuBar()->addMenu(qt_text(menu.title));
        for (const MenuItem& item : menu.items) {
            if (!item.submenu.empty()) {
                QMenu* sub = qmenu->addMenu(qt_text(item.text));
                for (const MenuItem& inner : item.submenu) {
                    QAction* a = sub->addAction(qt_text(inner.text));
                    const int id = inner.command;
                    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
                    actions_[id] = a;
                }
                continue;
            }
            QAction* a = qmenu->addAction(qt_text(item.text));
            a->setCheckable(item.checkable);
            // The shortcut shows beside the item.
            const std::string keys = command_shortcut(item.command);
            if (!keys.empty()) a->setShortcut(QKeySequence(QString::fromStdString(keys)));
            const int id = item.command;
            connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
            actions_[id] = a;
        }
    }
    sync_checks();
}

void MainWindowQt::sync_checks() {
    if (QAction* a = action(command::fit_view)) a->setChecked(store_.fit_to_pane);
    if (QAction* a = action(command::heatmap_view)) a->setChecked(store_.heatmap_view);
    const std::pair<int, double> zooms[] = {{command::zoom_1, 1.0},
                                            {command::zoom_2, 2.0},
                                            {command::zoom_4, 4.0},
                                            {command::zoom_8, 8.0}};
    for (const auto& [id, level] : zooms) {
        if (QAction* a = action(id)) a->setChecked(store_.zoom == level);
    }
    if (QAction* a = action(command::flicker)) a->setChecked(store_.flicker_degraded);
    if (QAction* a = action(command::threshold_overlay)) {
        a->setChecked(store_.overlay_threshold >= 0.0);
    }
}

QRect MainWindowQt::quarter_rect() const {
    const int x = layout_.left_width - layout_.border;
    const int y = layout_.top_height - layout_.border;
    return QRect(x, y, client_->width() - x, client_->height() - y);
}

bool MainWindowQt::step(FrameStep how) {
    if (busy_) return false;
    return step_frame(store_, platform_, how);
}

bool MainWindowQt::key(StepKey key) {
    if (busy_) return false;
    return key_step(store_, platform_, key);
}

bool MainWindowQt::wheel(int delta) {
    if (busy_) return false;
    return wheel_step(store_, platform_, delta);
}

void MainWindowQt::drop(Pane pane, const std::vector<std::string>& paths) {
    if (busy_) return;
    busy_ = true;
    run_drop(store_, platform_, pane, paths);
    busy_ = false;
}

void MainWindowQt::apply_layout() {
    // The border is the panes' frame width, so their outer frames lie outside the client area.
    layout_ = compute_pane_layout(panes_[0]->frameWidth(), client_->width(), client_->height());
    const PaneRect rects[] = {left_pane_rect(layout_), right_pane_rect(layout_),
                              lower_pane_rect(layout_)};
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        panes_[i]->setGeometry(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    }
}

void MainWindowQt::run_command(int command_id) {
    if (busy_) return;
    busy_ = true;
    const CommandResult result = run_main_command(store_, platform_, command_id);
    busy_ = false;
    sync_checks();
    remember_view();
    if (result == CommandResult::close_window) {
        close_confirmed_ = true;
        close();
    }
}

void MainWindowQt::invalidate(Window window, bool erase) {
    auto repaint = [this, erase](ImagePane* pane) {
        if (erase) pane->drop_image_cache();
        pane->update();
        // The quarter's frame number and figures, and the results window, follow the panes.
        client_->update(quarter_rect());
        if (results_) results_->update();
    };
    switch (window) {
        case Window::left_pane:
            repaint(panes_[0]);
            break;
        case Window::right_pane:
            repaint(panes_[1]);
            break;
        case Window::lower_pane:
            repaint(panes_[2]);
            break;
        default:
            // The main window does not clip its children: its repaint covers the panes.
            client_->update();
            for (ImagePane* pane : panes_) repaint(pane);
            break;
    }
}

void MainWindowQt::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    if (!close_confirmed_) {
        busy_ = true;
        const bool yes = confirm_close(platform_);
        busy_ = false;
        if (!yes) {
            event->ignore();
            return;
        }
    }
    close_confirmed_ = false;
    remember_view();
    event->accept();
}

QWidget* MainWindowQt::owner_widget(Window owner) {
    switch (owner) {
        case Window::none:
            return nullptr;
        case Window::dialog: {
            QWidget* modal = QApplication::activeModalWidget();
            return modal != nullptr ? modal : this;
        }
        case Window::left_pane:
            return panes_[0];
        case Window::right_pane:
            return panes_[1];
        case Window::lower_pane:
            return panes_[2];
        case Window::main:
            break;
    }
    return this;
}

void MainWindowQt::show_progress(const std::string& label, int done, int total) {
    if (done >= total) {
        if (progress_) {
            progress_->close();
            delete progress_.data();
        }
        return;
    }
    if (!progress_) {
        progress_ = new QProgressDialog(this);
        progress_->setWindowModality(Qt::ApplicationModal);
        // キャンセル stops the run after the frame being handed over: the run asks
        // cancel_requested between frames on this thread.
        progress_->setCancelButtonText(QStringLiteral("キャンセル"));
        cancel_requested_ = false;
        connect(progress_.data(), &QProgressDialog::canceled, this,
                [this] { cancel_requested_ = true; });
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setWindowTitle(qt_text(label));
    }
    progress_->setRange(0, total);
    progress_->setLabelText(qt_text(label) + QStringLiteral("  %1 / %2").arg(done + 1).arg(total));
    progress_->setValue(done);
    // Shown from the first frame on, and painted between frames; being modal, it keeps every
    // other window from taking input while the run goes on.
    progress_->show();
    QCoreApplication::processEvents();
}

void MainWindowQt::fill_platform() {
    platform_.message_box = [this](const MessageRequest& request) {
        CaptionMessageBox box(owner_widget(request.owner));
        box.setText(qt_text(request.text));
        box.setWindowTitle(qt_text(request.caption));
        box.setIcon(request.icon == MessageIcon::question      ? QMessageBox::Question
                    : request.icon == MessageIcon::information ? QMessageBox::Information
                                                               : QMessageBox::NoIcon);
        QPushButton* skip = nullptr;
        if (request.buttons == MessageButtons::yes_no) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
        } else if (request.buttons == MessageButtons::skip_cancel) {
            skip = box.addButton(QStringLiteral("上書きしない"), QMessageBox::AcceptRole);
            box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
            box.setDefaultButton(skip);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        if (request.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        const int answer = box.exec();
        if (request.buttons == MessageButtons::ok) return MessageAnswer::ok;
        if (request.buttons == MessageButtons::skip_cancel) {
            return box.clickedButton() == skip ? MessageAnswer::skip : MessageAnswer::cancel;
        }
        return answer == QMessageBox::Yes ? MessageAnswer::yes : MessageAnswer::no;
    };
    platform_.open_files =
        [this](const FileDialogRequest& request) -> std::optional<std::vector<std::string>> {
        QFileDialog dialog(owner_widget(request.owner));
        prepare_file_dialog(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles
                                            : QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        remember_answer(dialog);
        std::vector<std::string> paths;
        for (const QString& file : dialog.selectedFiles()) paths.push_back(file.toStdString());
        return paths;
    };
    platform_.save_file = [this](const FileDialogRequest& request) -> std::optional<std::string> {
        QFileDialog dialog(owner_widget(request.owner));
        prepare_file_dialog(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        remember_answer(dialog);
        return dialog.selectedFiles().front().toStdString();
    };
    platform_.choose_folder = [this](
                                  Window owner, const std::string& title,
                                  const std::string& start_folder) -> std::optional<std::string> {
        const QString folder = QFileDialog::getExistingDirectory(
            owner_widget(owner), qt_text(title), qt_text(start_folder), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty()) return std::nullopt;
        return QDir::toNativeSeparators(folder).toStdString();
    };
    platform_.invalidate = [this](Window window, bool erase) { invalidate(window, erase); };
    platform_.start_process = [](const std::string& program) {
        // Started detached: it is never waited for and never left behind as a zombie.
        return QProcess::startDetached(qt_text(program), QStringList{});
    };
    platform_.tick_count = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    };
    platform_.progress = [this](const std::string& label, int done, int total) {
        show_progress(label, done, total);
    };
    platform_.cancel_requested = [this] { return cancel_requested_; };
    platform_.machine_room = measure_machine_room;
    platform_.ask_text = [this](const std::string& title, const std::string& label,
                                const std::string& start) -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, qt_text(title), qt_text(label),
                                                   QLineEdit::Normal, qt_text(start), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    };
    platform_.show_results = [this] { show_results_window(); };
    platform_.run_dialog = [this](const std::string& name) {
        return run_dialog_qt(owner_widget(Window::main), name, store_, platform_);
    };
}

void MainWindowQt::show_results_window() {
    if (!results_) {
        results_ = new ResultsWindow(
            store_,
            [this](int frame) {
                if (!busy_) go_to_frame(store_, platform_, frame);
            },
            this);
        results_->setObjectName(QStringLiteral("ResultsWindow"));
    }
    const bool first = !results_->isVisible();
    results_->show();
    if (first) {
        // Whole on the screen of the main window, with its frame.
        const QRect area = screen()->availableGeometry();
        const QRect frame = results_->frameGeometry();
        const QRect inner = results_->geometry();
        const PaneRect placed = keep_inside({frame.x(), frame.y(), frame.width(), frame.height()},
                                            {area.x(), area.y(), area.width(), area.height()});
        results_->resize(inner.width() - (frame.width() - placed.width),
                         inner.height() - (frame.height() - placed.height));
        results_->move(placed.x, placed.y);
    }
    results_->raise();
    results_->update();
}

bool install_japanese_translations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace orv
