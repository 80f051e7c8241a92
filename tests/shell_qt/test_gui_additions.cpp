// What the main window adds for daily work, on the offscreen platform: shortcuts shown in the
// menus and a frame number to go to, a seed for the noise, settings remembered from one start
// to the next (in a temporary place), and キャンセル in the progress window.

#include <filesystem>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include "measure/degradations.h"
#include "measure/inputs.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "shell/colour_diff_dialog.h"
#include "shell/export.h"
#include "shell/failure_texts.h"
#include "shell/frame_store.h"
#include "shell/main_window.h"
#include "shell/noise_dialog.h"
#include "shell/qt/main_window_qt.h"
#include "shell/qt/remembered.h"
#include "shell/sequence_dialogs.h"
#include "shell/view_zoom.h"
#include "tests/shell_qt/helper_frame_store.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace orv {

namespace {

struct FakeItems {
    std::map<int, std::string> texts;
    DialogItems items() {
        DialogItems d;
        d.set_text = [this](int id, const std::string& t) { texts[id] = t; };
        d.get_text = [this](int id) { return texts[id]; };
        d.end_dialog = [](int) {};
        return d;
    }
};

}  // namespace

class GuiAdditionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shortcuts_show_in_the_menus_and_ctrl_g_goes_to_a_frame();
    void a_seed_makes_the_noise_of_orv_cli();
    void settings_are_remembered_in_their_own_place();
    void cancel_keeps_the_frames_measured_before();
    void zoom_and_pan_move_the_three_panes_together();
    void flicker_and_threshold_overlay();
    void cleanupTestCase();

private:
    std::string write_frame(const std::string& name, int index, int width = 40, int height = 24);
    // Clicks キャンセル of the progress window once `done` frames are reported.
    void cancel_after(int done);
    // Hands the next file dialog, once shown, to `answer`.
    void answer_file_dialog(std::function<void(QFileDialog*)> answer);

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::vector<std::string> reference_;
    std::vector<std::string> degraded_;
};

std::string GuiAdditionsTest::write_frame(const std::string& name, int index, int width,
                                          int height) {
    test::BmpSpec spec;
    spec.width = width;
    spec.height = height;
    const std::size_t row = test::source_row_pixels(spec.width, 24);
    spec.pixels.assign(row * static_cast<std::size_t>(spec.height), 0);
    for (std::size_t i = 0; i < spec.pixels.size(); ++i) {
        spec.pixels[i] = static_cast<std::uint8_t>((i * 7 + index * 13 + name.size()) % 251);
    }
    const std::string path = folder_.file(name + "_" + std::to_string(index) + ".bmp");
    test::write_file(path, test::make_bmp(spec));
    return path;
}

void GuiAdditionsTest::cancel_after(int done) {
    Platform& platform = window_->platform();
    const auto shown = platform.progress;
    platform.progress = [this, shown, done](const std::string& label, int now, int total) {
        shown(label, now, total);
        QProgressDialog* progress = window_->progress_window();
        if (now == done && progress != nullptr) {
            // The button the user presses.
            for (QPushButton* b : progress->findChildren<QPushButton*>()) {
                if (b->text() == QStringLiteral("キャンセル")) b->click();
            }
        }
    };
}

void GuiAdditionsTest::answer_file_dialog(std::function<void(QFileDialog*)> answer) {
    auto* timer = new QTimer(this);
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, this, [timer, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start();
}

void GuiAdditionsTest::initTestCase() {
    FrameStore& store = frame_store();
    test::start_with_default_profile(store);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    for (int i = 0; i < 4; ++i) {
        reference_.push_back(write_frame("ref", i));
        degraded_.push_back(write_frame("deg", i));
    }
}

void GuiAdditionsTest::shortcuts_show_in_the_menus_and_ctrl_g_goes_to_a_frame() {
    const std::pair<int, const char*> keys[] = {{command::open, "Ctrl+O"},
                                                {command::save, "Ctrl+S"},
                                                {command::export_results, "Ctrl+E"},
                                                {command::go_to_frame, "Ctrl+G"}};
    for (const auto& [id, text] : keys) {
        QCOMPARE(window_->action(id)->shortcut(), QKeySequence(QString::fromLatin1(text)));
    }
    QCOMPARE(window_->action(command::about)->shortcut(), QKeySequence());

    // Typed frame numbers: 1 .. count, blanks around allowed.
    const std::pair<const char*, std::optional<int>> typed[] = {{"1", 0},
                                                                {" 4 ", 3},
                                                                {"0", std::nullopt},
                                                                {"5", std::nullopt},
                                                                {"", std::nullopt},
                                                                {"2a", std::nullopt},
                                                                {"-1", std::nullopt},
                                                                {"99999999999999", std::nullopt}};
    for (const auto& [text, frame] : typed) QCOMPARE(frame_from_text(text, 4), frame);

    // Ctrl+G asks for the number and shows that frame.
    FrameStore& store = window_->store();
    window_->drop(Pane::left, reference_);
    QCOMPARE(store.current_frame, 0);
    QTimer::singleShot(50, [] {
        auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        QVERIFY(ask != nullptr);
        QCOMPARE(ask->textValue(), QStringLiteral("1"));
        ask->setTextValue(QStringLiteral("3"));
        ask->accept();
    });
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTest::keyClick(window_.get(), Qt::Key_G, Qt::ControlModifier);
    QTRY_COMPARE(store.current_frame, 2);
}

void GuiAdditionsTest::a_seed_makes_the_noise_of_orv_cli() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    window_->drop(Pane::left, reference_);
    FakeItems fake;
    DialogItems items = fake.items();
    fake.texts = {{noise_item::sigma_red, "3"},
                  {noise_item::sigma_green, "2,5"},
                  {noise_item::sigma_blue, "1"},
                  {noise_item::seed, "12345"}};
    QVERIFY(make_noisy_sequence(store, platform, items));
    QCOMPARE(store.noise_seed, 12345LL);
    QCOMPARE(noise_record_text(store),
             std::string("ランダムノイズ: σ R 3, G 2.5, B 1; seed 12345"));
    // The same frames as the seed given to every pass, as orv-cli --seed does.
    for (int i = 0; i < 4; ++i) {
        const FrameFile frame = read_frame_file(reference_[static_cast<std::size_t>(i)]);
        PixelBuffer expected = frame.pixels;
        add_gaussian_noise(expected, 3.0, 2.5, 1.0, [] { return std::uint32_t{12345}; });
        QVERIFY(std::equal(expected.bytes.begin(), expected.bytes.end(),
                           store.degraded_pixels[static_cast<std::size_t>(i)].bytes.begin()));
    }
    // Not a whole number from 0 to 4294967295: refused by name, nothing runs.
    for (const char* bad : {"-1", "1.5", "abc", "4294967296"}) {
        std::vector<MessageRequest> shown;
        const auto saved = platform.message_box;
        platform.message_box = [&shown](const MessageRequest& r) {
            shown.push_back(r);
            return MessageAnswer::ok;
        };
        fake.texts[noise_item::seed] = bad;
        QVERIFY(!make_noisy_sequence(store, platform, items));
        platform.message_box = saved;
        QCOMPARE(shown.size(), std::size_t{1});
        QCOMPARE(shown[0].text, field_not_number_text(noise_seed_name, bad));
    }
    // The dialog has its edit, empty at opening.
    const DialogTemplate* noise = find_dialog_template("RNDNOISE_DLG");
    QVERIFY(find_dialog_control(*noise, noise_item::seed) != nullptr);
}

void GuiAdditionsTest::settings_are_remembered_in_their_own_place() {
    const std::string place = folder_.file("settings");
    std::filesystem::create_directories(place);
    enable_remembered_settings(QString::fromStdString(place));
    FrameStore& store = window_->store();
    {
        MainWindowQt first(store);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QVERIFY(!store.fit_to_pane);
        first.resize(1111, 777);
        first.run_command(command::fit_view);
        first.run_command(command::heatmap_view);
        // A file dialog answered in a folder with a file type.
        Platform& platform = first.platform();
        file_name_buffer().clear();
        answer_file_dialog([this](QFileDialog* dialog) {
            dialog->setDirectory(QString::fromStdString(folder_.path.string()));
            dialog->selectNameFilter(dialog->nameFilters().at(2));
            dialog->selectFile(QString::fromStdString(reference_[0]));
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        });
        FileDialogRequest request;
        request.title = open_dialog_title;
        request.filters = open_file_types();
        request.multiple = true;
        QVERIFY(platform.open_files(request).has_value());
    }
    QVERIFY(std::filesystem::exists(place + "/orv.ini"));
    store.fit_to_pane = false;
    store.heatmap_view = false;
    MainWindowQt second(store);
    QVERIFY(store.fit_to_pane);
    QVERIFY(store.heatmap_view);
    QVERIFY(second.action(command::fit_view)->isChecked());
    QCOMPARE(second.size(), QSize(1111, 777));
    // The open dialog starts in that folder with that file type.
    QString folder_seen;
    QString filter_seen;
    answer_file_dialog([&](QFileDialog* dialog) {
        folder_seen = dialog->directory().absolutePath();
        filter_seen = dialog->selectedNameFilter();
        static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
    });
    FileDialogRequest request;
    request.title = open_dialog_title;
    request.filters = open_file_types();
    request.multiple = true;
    QVERIFY(!second.platform().open_files(request).has_value());
    QCOMPARE(folder_seen, QDir(QString::fromStdString(folder_.path.string())).absolutePath());
    QCOMPARE(filter_seen, QStringLiteral("All Files(*.*)"));
    disable_remembered_settings();
    store.fit_to_pane = false;
    store.heatmap_view = false;
    // Without them a window starts as always.
    MainWindowQt third(store);
    QVERIFY(!store.fit_to_pane);
}

void GuiAdditionsTest::cancel_keeps_the_frames_measured_before() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    const auto progress = platform.progress;
    window_->drop(Pane::left, reference_);
    window_->drop(Pane::right, degraded_);

    // The colour differences: frame 1 measured, キャンセル, frames 2 .. 4 not.
    cancel_after(1);
    QVERIFY(make_difference_sequence(store, platform));
    platform.progress = progress;
    QVERIFY(!store.diff_results[0].data.empty());
    for (int i = 1; i < 4; ++i) QVERIFY(store.diff_results[i].data.empty());
    QCOMPARE(store.diff_ready, 1);
    QTRY_VERIFY(window_->progress_window() == nullptr);

    // An export cancelled after its first frame leaves no file behind.
    QVERIFY(make_difference_sequence(store, platform));
    const std::string base = folder_.file("cancelled");
    const auto save_file = platform.save_file;
    const auto message_box = platform.message_box;
    std::vector<MessageRequest> shown;
    platform.save_file = [&base](const FileDialogRequest&) {
        return std::optional<std::string>(base + ".csv");
    };
    platform.message_box = [&shown](const MessageRequest& r) {
        shown.push_back(r);
        return MessageAnswer::ok;
    };
    cancel_after(1);
    window_->run_command(command::export_results);
    platform.progress = progress;
    platform.save_file = save_file;
    platform.message_box = message_box;
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string(export_cancelled_text));
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path)) {
        QVERIFY2(entry.path().filename().string().rfind("cancelled", 0) != 0,
                 entry.path().string().c_str());
    }

    // The noise: the frames made before キャンセル are the degraded sequence.
    FakeItems fake;
    DialogItems items = fake.items();
    fake.texts = {{noise_item::sigma_red, "4"}};
    cancel_after(2);
    QVERIFY(make_noisy_sequence(store, platform, items));
    platform.progress = progress;
    QCOMPARE(store.degraded_count, 2);
    QCOMPARE(store.degraded_ready, 1);
}

void GuiAdditionsTest::zoom_and_pan_move_the_three_panes_together() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    // Frames larger than a pane shows at 8x, so that there is a view to move.
    window_->resize(1000, 760);
    QCoreApplication::processEvents();
    window_->drop(Pane::left, {write_frame("bigref", 0, 320, 240)});
    window_->drop(Pane::right, {write_frame("big_deg", 0, 320, 240)});
    QVERIFY(make_difference_sequence(store, platform));
    window_->platform().invalidate(Window::main, true);
    ImagePane* left = window_->pane(Pane::left);
    QTRY_VERIFY(left->last_drawing().drawn);

    // 8x from the menu: every pane at 8 pane pixels per image pixel, with the grid.
    window_->run_command(command::zoom_8);
    QVERIFY(window_->action(command::zoom_8)->isChecked());
    for (Pane pane : {Pane::left, Pane::right, Pane::lower}) window_->pane(pane)->repaint();
    for (Pane pane : {Pane::left, Pane::right, Pane::lower}) {
        const PaneDrawing& d = window_->pane(pane)->last_drawing();
        QCOMPARE(d.scale, 8.0);
        QVERIFY(d.grid);
        QCOMPARE(d.source_x, 0);
    }
    // Nearest pixel: the 8 x 8 block of image pixel (1, 0) holds its colour.
    const QImage shown = left->grab(left->contentsRect()).toImage();
    const QImage frame = left->shown_image();
    QCOMPARE(shown.pixel(8 + 3, 3), frame.pixel(1, 0));

    // A drag pans the three panes by whole image pixels; the readouts follow.
    const QPoint at = left->contentsRect().topLeft() + QPoint(440, 60);
    QTest::mousePress(left, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent drag(QEvent::MouseMove, QPointF(at - QPoint(400, 16)),
                     left->mapToGlobal(QPointF(at - QPoint(400, 16))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(left, &drag);
    QTest::mouseRelease(left, Qt::LeftButton, Qt::NoModifier, at - QPoint(400, 16));
    for (Pane pane : {Pane::left, Pane::right, Pane::lower}) window_->pane(pane)->repaint();
    const int view_x = store.view_x;
    const int view_y = store.view_y;
    QVERIFY2(view_x == 50, qPrintable(QStringLiteral("view %1 pane %2 source %3 frame %4")
                                          .arg(view_x)
                                          .arg(left->contentsRect().width())
                                          .arg(left->last_drawing().source_width)
                                          .arg(store.frame_width[0])));
    QCOMPARE(view_y, 2);
    QCOMPARE(window_->pane(Pane::right)->last_drawing().source_x, view_x);
    QCOMPARE(window_->pane(Pane::lower)->last_drawing().source_y, view_y);
    // The pointer at pane (40, 44) is over image pixel (50 + 5, 2 + 5).
    QCOMPARE(store.cursor_x, view_x + 40 / 8);
    QCOMPARE(store.cursor_y, view_y + (60 - 16) / 8);

    // Ctrl+wheel zooms out around the pointer; the plain wheel leaves the zoom alone.
    auto turn = [&](Qt::KeyboardModifiers keys, int delta) {
        const QPointF p(left->contentsRect().topLeft() + QPoint(80, 40));
        QWheelEvent wheel(p, left->mapToGlobal(p), QPoint(), QPoint(0, delta), Qt::NoButton, keys,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(left, &wheel);
    };
    const int pixel_x = store.view_x + 80 / 8;
    turn(Qt::NoModifier, -120);
    QCOMPARE(store.zoom, 8.0);
    turn(Qt::ControlModifier, -120);
    QCOMPARE(store.zoom, 4.0);
    left->repaint();
    QCOMPARE(store.view_x + 80 / 4, pixel_x);  // the pixel under the pointer stays
    turn(Qt::ControlModifier, 120);
    QCOMPARE(store.zoom, 8.0);
    // Below 1:1 the zoom goes off: back to the scale rule.
    for (int i = 0; i < 4; ++i) turn(Qt::ControlModifier, -120);
    QCOMPARE(store.zoom, 0.0);

    // The rule of the levels, in a table.
    FrameStore probe;
    const struct {
        double zoom;
        double scale;
        int steps;
        double next;
    } levels[] = {{0, 0.7, 1, 1}, {0, 1.5, 1, 2}, {2, 2, 1, 4},   {8, 8, 1, 8},
                  {8, 8, -1, 4},  {1, 1, -1, 0},  {0, 3.2, -1, 2}};
    for (const auto& l : levels) {
        probe.zoom = l.zoom;
        probe.display_scale = l.scale;
        QCOMPARE(next_zoom(probe, l.steps), l.next);
    }
    // Choosing the fit view ends a zoom.
    window_->run_command(command::zoom_2);
    window_->run_command(command::fit_view);
    QCOMPARE(store.zoom, 0.0);
    window_->run_command(command::fit_view);
    QVERIFY(!store.fit_to_pane);
}

void GuiAdditionsTest::flicker_and_threshold_overlay() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    ImagePane* left = window_->pane(Pane::left);
    ImagePane* right = window_->pane(Pane::right);
    window_->run_command(command::zoom_4);
    store.view_x = 3;
    // F shows the degraded frame in the upper-left pane at the same place and zoom.
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    left->repaint();
    const QImage reference = left->grab(left->contentsRect()).toImage();
    QTest::keyClick(window_.get(), Qt::Key_F);
    QVERIFY(store.flicker_degraded);
    window_->platform().invalidate(Window::main, true);
    left->repaint();
    right->repaint();
    QCOMPARE(left->last_drawing().image, &store.degraded_pixels[0]);
    QVERIFY2(left->last_drawing().source_x == 3,
             qPrintable(QStringLiteral("view %1 zoom %2 width %3 pane %4")
                            .arg(store.view_x)
                            .arg(store.zoom)
                            .arg(left->last_drawing().source_width)
                            .arg(left->contentsRect().width())));
    QCOMPARE(left->last_drawing().scale, 4.0);
    const QImage flicked = left->grab(left->contentsRect()).toImage();
    QVERIFY(flicked != reference);
    QCOMPARE(flicked.pixel(10, 10), right->grab(right->contentsRect()).toImage().pixel(10, 10));
    QTest::keyClick(window_.get(), Qt::Key_F);
    QVERIFY(!store.flicker_degraded);

    // The overlay: asked for a ΔE; the pixels above it tinted, the others as they are.
    const auto ask = platform.ask_text;
    std::string answer = "0,5";
    platform.ask_text = [&answer](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>(answer);
    };
    window_->run_command(command::threshold_overlay);
    QCOMPARE(store.overlay_threshold, 0.5);
    QVERIFY(window_->action(command::threshold_overlay)->isChecked());
    window_->platform().invalidate(Window::main, true);
    right->repaint();
    const PixelBuffer* tinted = right->last_drawing().image;
    QCOMPARE(tinted, &store.overlay_pixels);
    const PixelBuffer& degraded = store.degraded_pixels[0];
    const InterleavedImage& map = store.diff_results[0];
    int over = 0;
    for (std::size_t i = 0; i < map.data.size(); ++i) {
        const std::size_t row = i / static_cast<std::size_t>(map.width);
        const std::size_t at = row * degraded.stride + 3 * (i % map.width);
        const bool above = map.data[i] > 0.5;
        over += above;
        QCOMPARE(tinted->bytes[at + 1], static_cast<std::uint8_t>(above ? degraded.bytes[at + 1] / 2
                                                                        : degraded.bytes[at + 1]));
    }
    QVERIFY(over > 0);
    QVERIFY(over < static_cast<int>(map.data.size()));
    // Empty turns it off; a word is refused.
    answer = "";
    window_->run_command(command::threshold_overlay);
    QCOMPARE(store.overlay_threshold, -1.0);
    answer = "viel";
    std::vector<MessageRequest> shown;
    const auto message_box = platform.message_box;
    platform.message_box = [&shown](const MessageRequest& r) {
        shown.push_back(r);
        return MessageAnswer::ok;
    };
    window_->run_command(command::threshold_overlay);
    platform.message_box = message_box;
    platform.ask_text = ask;
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(store.overlay_threshold, -1.0);
    window_->run_command(command::zoom_4);  // off again
    QCOMPARE(store.zoom, 0.0);
}

void GuiAdditionsTest::cleanupTestCase() {
    disable_remembered_settings();
    window_.reset();
}

}  // namespace orv

QTEST_MAIN(orv::GuiAdditionsTest)
#include "test_gui_additions.moc"
