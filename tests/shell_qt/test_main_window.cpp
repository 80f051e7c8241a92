// The real main window on the offscreen platform: open a sequence through the seam, run
// S_CIELAB on the default profile, move the mouse, read the three status bars, step, and
// save a screenshot with frames loaded.

#include <cmath>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSizeGrip>
#include <QTimer>
#include <QtTest>

#include "measure/degradations.h"
#include "resources/menu.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "shell/frame_store.h"
#include "shell/main_window.h"
#include "shell/qt/main_window_qt.h"
#include "tests/shell_qt/helper_message_boxes.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/pipeline_calls.h"
#include "tests/support/temp_folder.h"

namespace orv {

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void caption_menu_and_layout();
    void open_sequence_through_the_seam();
    void status_bars_have_the_status_bar_look();
    void scielab_run_and_readouts();
    void stepping_only_in_the_uncovered_quarter();
    void real_open_dialog_as_asked();
    void encoder_refusal_box();
    void encoder_started_from_default_profile();
    void message_boxes_show_their_captions_whole();
    void close_answered_no_then_yes();

private:
    // A 160 x 120 frame: colour gradients that differ per frame.
    std::string write_frame(int index);
    // Client position of image pixel (x, y) in `pane`, through the current scale.
    QPoint pane_point(ImagePane* pane, int x, int y) const;
    void settle();

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::vector<std::string> paths_;
    FileDialogRequest open_request_;
    decltype(Platform::open_files) qt_open_files_;
};

std::string MainWindowTest::write_frame(int index) {
    test::BmpSpec spec;
    spec.width = 160;
    spec.height = 120;
    const std::size_t row = test::source_row_pixels(spec.width, 24);
    spec.pixels.assign(row * static_cast<std::size_t>(spec.height), 0);
    for (int y = 0; y < spec.height; ++y) {  // file rows, bottom-up
        for (int x = 0; x < spec.width; ++x) {
            std::uint8_t* p =
                &spec.pixels[static_cast<std::size_t>(y) * row + 3 * static_cast<std::size_t>(x)];
            const double cx = x - 80.0, cy = y - 60.0;
            const bool disc = cx * cx + cy * cy < (30.0 + 8 * index) * (30.0 + 8 * index);
            p[0] = static_cast<std::uint8_t>(disc ? 40 : 255 * y / spec.height);  // blue
            p[1] = static_cast<std::uint8_t>(disc ? 200 - 40 * index : 120);      // green
            p[2] = static_cast<std::uint8_t>(disc ? 230 : 255 * x / spec.width);  // red
        }
    }
    const std::string path = folder_.file("frame_" + std::to_string(index) + ".bmp");
    test::write_file(path, test::make_bmp(spec));
    return path;
}

QPoint MainWindowTest::pane_point(ImagePane* pane, int x, int y) const {
    const double scale = window_->store().display_scale;
    // The centre of the image pixel, in widget coordinates of the pane.
    return pane->contentsRect().topLeft() +
           QPoint(static_cast<int>((x + 0.5) * scale), static_cast<int>((y + 0.5) * scale));
}

void MainWindowTest::settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void MainWindowTest::initTestCase() {
    QVERIFY(install_japanese_translations());
    FrameStore& store = frame_store();
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->resize(900, 700);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    for (int i = 0; i < 3; ++i) paths_.push_back(write_frame(i));
}

void MainWindowTest::caption_menu_and_layout() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("ORV 2.0"));
    // Every menu of MYMENU and every item in it, in their order, is found in the menu bar the
    // window shows (added menus and items may stand between them); each item is the action
    // of its command id.
    const QList<QAction*> menus = window_->menuBar()->actions();
    QCOMPARE(menus.front()->text(), QStringLiteral("ファイル(&F)"));
    QCOMPARE(menus.back()->text(), QStringLiteral("ヘルプ(&H)"));
    qsizetype at = 0;
    for (const Menu& menu : main_menu()) {
        while (at < menus.size() && menus[at]->text() != QString::fromStdString(menu.title)) ++at;
        QVERIFY2(at < menus.size(), menu.title.c_str());
        const QList<QAction*> items = menus[at]->menu()->actions();
        qsizetype item_at = 0;
        for (const MenuItem& item : menu.items) {
            while (item_at < items.size() &&
                   items[item_at]->text() != QString::fromStdString(item.text)) {
                ++item_at;
            }
            QVERIFY2(item_at < items.size(), item.text.c_str());
            QCOMPARE(items[item_at], window_->action(item.command));
            ++item_at;
        }
        ++at;
    }

    // The panes sit where the layout rule puts them, the border being their frame width.
    const int b = window_->pane(Pane::left)->frameWidth();
    QVERIFY(b > 0);
    QCOMPARE(window_->layout().border, b);
    const int cw = window_->client()->width();
    const int ch = window_->client()->height();
    const PaneLayout expected = compute_pane_layout(b, cw, ch);
    const PaneRect right = right_pane_rect(expected);
    QCOMPARE(window_->pane(Pane::right)->geometry(),
             QRect(right.x, right.y, right.width, right.height));
    QCOMPARE(window_->pane(Pane::left)->geometry().topLeft(), QPoint(-b, -b));
    QCOMPARE(window_->pane(Pane::lower)->geometry().bottom() + 1, ch + b);
    QCOMPARE(window_->pane(Pane::left)->objectName(), QStringLiteral("LeftWindow"));
    QCOMPARE(window_->pane(Pane::lower)->objectName(), QStringLiteral("UnderWindow"));
}

void MainWindowTest::open_sequence_through_the_seam() {
    // The file answers are injected where the real dialog would give them.
    qt_open_files_ = window_->platform().open_files;
    window_->platform().open_files = [this](const FileDialogRequest& request) {
        open_request_ = request;
        return std::optional<std::vector<std::string>>(paths_);
    };
    window_->action(command::open)->trigger();
    const FrameStore& store = window_->store();
    QCOMPARE(store.reference_count, 3);
    QCOMPARE(store.image_loaded, 1);
    QCOMPARE(store.current_frame, 0);
    QCOMPARE(store.frame_width[2], 160);
    QCOMPARE(open_request_.title, std::string("ファイルを開く！"));
    QVERIFY(open_request_.multiple);
    QCOMPARE(open_request_.default_extension, std::string("bmp"));
    settle();
    // The left pane drew frame 0 and reads out the top-left pixel.
    QTRY_COMPARE(window_->pane(Pane::left)->status()->part_text(0), QStringLiteral(" X:0 Y:0"));
    QVERIFY(window_->pane(Pane::left)->last_drawing().drawn);
}

void MainWindowTest::status_bars_have_the_status_bar_look() {
    StatusStrip* strip = window_->pane(Pane::left)->status();
    // The status bar's own font, not shrunk to fit the readouts.
    QCOMPARE(strip->font().pointSizeF(), QApplication::font("QStatusBar").pointSizeF());
    QVERIFY(strip->font().pointSizeF() >= 8.0);
    QVERIFY(strip->width() >= 400);
    // A readout too long for its 100-pixel part is cut at the part's edge: parts 1 and 2 hold
    // nothing else, so the strip right of x = 100 is the bare background.
    const QString before = strip->part_text(0);
    strip->set_part_text(0, QStringLiteral(" X:65535 Y:65535 and a readout far too long"));
    strip->set_part_text(1, QString());
    const QImage image = strip->grab().toImage();
    strip->set_part_text(0, before);
    const QColor background = QApplication::palette("QStatusBar").window().color();
    QVERIFY(background != QColor(Qt::white));
    const int y = image.height() / 2;
    QCOMPARE(image.pixelColor(300, y), background);
    int text_pixels = 0;
    for (int x = 0; x < image.width() - 30; ++x) {
        if (image.pixelColor(x, y).lightness() < 100) {
            ++text_pixels;
            QVERIFY2(x < 100, qPrintable(QStringLiteral("text at x = %1").arg(x)));
        }
    }
    QVERIFY(text_pixels > 0);
    // The main window's size grip at the strip's right end.
    auto* grip = strip->findChild<QSizeGrip*>();
    QVERIFY(grip != nullptr);
    QVERIFY(grip->isVisible());
    QCOMPARE(grip->geometry().right(), strip->width() - 1);
}

void MainWindowTest::scielab_run_and_readouts() {
    FrameStore& store = window_->store();
    // The filter set as the filter dialog finishes it, from the default profile's kernels.
    std::ostringstream trace;
    const std::string folder = ORV_DEFAULT_PROFILE;
    store.atd_filters.a = load_channel_filter(folder + "/kernel_L.txt", kernel_sample_angle, trace);
    store.atd_filters.t =
        load_channel_filter(folder + "/kernel_RG.txt", kernel_sample_angle, trace);
    store.atd_filters.d =
        load_channel_filter(folder + "/kernel_BY.txt", kernel_sample_angle, trace);
    finish_filter_set(store.atd_filters);
    store.atd_filter_set = 1;
    QCOMPARE(store.profile_folder, folder);

    // Watch the progress window from inside the seam: while frames remain it is shown, modal,
    // with "frame i of n" in its label.
    const auto qt_progress = window_->platform().progress;
    QStringList progress_labels;
    bool progress_modal = true;
    window_->platform().progress = [&](const std::string& label, int done, int total) {
        qt_progress(label, done, total);
        if (done >= total) return;
        auto* dialog = window_->findChild<QProgressDialog*>();
        if (dialog == nullptr || !dialog->isVisible()) {
            progress_modal = false;
            return;
        }
        progress_modal = progress_modal && dialog->isModal();
        progress_labels << dialog->labelText();
    };
    test::SeenMessageBox question;
    test::answer_next_message_box(QMessageBox::Yes, question);
    window_->action(command::scielab)->trigger();
    window_->platform().progress = qt_progress;
    QVERIFY(question.seen);
    QVERIFY(progress_modal);
    QVERIFY2(!progress_labels.isEmpty(), "no progress shown");
    QVERIFY2(progress_labels.front().endsWith(QStringLiteral("1 / 3")),
             qPrintable(progress_labels.front()));
    QCOMPARE(question.text, QStringLiteral("S_CIELAB処理を実行しますか"));
    QCOMPARE(question.caption, QStringLiteral("S_CIELAB処理確認"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QVERIFY(question.topmost);
    // The buttons read in Japanese.
    QCOMPARE(question.buttons.size(), 2);
    QVERIFY2(question.buttons.join(' ').contains(QStringLiteral("はい")),
             qPrintable(question.buttons.join(' ')));
    QVERIFY(question.buttons.join(' ').contains(QStringLiteral("いいえ")));

    QCOMPARE(store.scielab_done, 1);
    for (int i = 0; i < 3; ++i) QVERIFY(is_present(store.scielab_pixels[i]));
    QVERIFY(store.scielab_pixels[0].bytes != store.reference_pixels[0].bytes);
    QVERIFY(window_->findChild<QProgressDialog*>() == nullptr);  // closed after the run

    // A degraded sequence and its difference images, so that all three panes draw.
    for (int i = 0; i < 3; ++i) {
        store.degraded_pixels[i] = store.reference_pixels[i];
        add_gaussian_noise(store.degraded_pixels[i], 12.0, 12.0, 12.0, [i, n = 0]() mutable {
            return static_cast<std::uint32_t>(100 + 10 * i + n++);
        });
        store.diff_pixels[i] = make_pixel_buffer(160, 120);
        QCOMPARE(test_calls::make_difference_image(
                     store.reference_pixels[i], store.degraded_pixels[i], store.diff_pixels[i],
                     kernel_sample_angle, store.atd_filters, folder, store.diff_results[i]),
                 1);
    }
    store.degraded_count = 3;
    store.degraded_ready = 1;
    store.diff_ready = 1;
    window_->platform().invalidate(Window::main, true);
    settle();

    // Move the mouse over the right pane onto image pixel (38, 21).
    ImagePane* right = window_->pane(Pane::right);
    QTRY_VERIFY(right->last_drawing().drawn);
    QTest::mouseMove(right, pane_point(right, 38, 21));
    settle();
    QCOMPARE(store.cursor_x, 38);
    QCOMPARE(store.cursor_y, 21);

    const auto colour_at = [](const PixelBuffer& b, int x, int y) {
        const std::size_t o = static_cast<std::size_t>(b.height - 1 - y) * b.stride + 3 * x;
        return QString::fromStdString(colour_readout(b.bytes[o + 2], b.bytes[o + 1], b.bytes[o]));
    };
    for (Pane kind : {Pane::left, Pane::right, Pane::lower}) {
        QTRY_COMPARE(window_->pane(kind)->status()->part_text(0), QStringLiteral(" X:38 Y:21"));
    }
    // The left pane shows the filtered frame but reads the reference bytes.
    QCOMPARE(window_->pane(Pane::left)->last_drawing().image, &store.scielab_pixels[0]);
    QCOMPARE(window_->pane(Pane::left)->status()->part_text(1),
             colour_at(store.reference_pixels[0], 38, 21));
    QCOMPARE(right->status()->part_text(1), colour_at(store.degraded_pixels[0], 38, 21));
    // The noise changed this pixel, so the two readouts come from different tables.
    QVERIFY(right->status()->part_text(1) != window_->pane(Pane::left)->status()->part_text(1));
    const InterleavedImage& diff = store.diff_results[0];
    const double value =
        diff.data[static_cast<std::size_t>(diff.height - 1 - 21) * diff.width + 38];
    QCOMPARE(window_->pane(Pane::lower)->status()->part_text(1),
             QString::fromStdString(difference_readout(value)));
    QCOMPARE(window_->pane(Pane::lower)->status()->part_text(2),
             QString::fromStdString(mean_difference_readout(diff.mean)));
    QVERIFY(window_->pane(Pane::lower)
                ->status()
                ->part_text(2)
                .startsWith(QStringLiteral("S-CIELAB色差:")));

    // The window with frames loaded, for the documentation.
    QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
    QVERIFY(window_->grab().save(QStringLiteral(ORV_SCREENSHOT_DIR "/main-window.png")));
}

void MainWindowTest::stepping_only_in_the_uncovered_quarter() {
    FrameStore& store = window_->store();
    store.current_frame = 0;
    const PaneLayout& layout = window_->layout();
    // A click inside a pane does not step.
    QTest::mouseClick(window_->pane(Pane::lower), Qt::LeftButton, {}, QPoint(30, 30));
    QCOMPARE(store.current_frame, 0);
    const QPoint quarter(layout.left_width - layout.border + 20,
                         layout.top_height - layout.border + 20);
    for (int expected : {1, 2, 0}) {
        QTest::mouseClick(window_->client(), Qt::LeftButton, {}, quarter);
        QCOMPARE(store.current_frame, expected);
    }
}

void MainWindowTest::real_open_dialog_as_asked() {
    // The Qt file dialog itself: title, file types, default extension, multiple selection,
    // and the folder the previous answer (a selection of three files) left behind.
    window_->platform().open_files = qt_open_files_;
    bool seen = false;
    QString title, folder, suffix;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    auto* timer = new QTimer(this);
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, this, [&, timer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        seen = true;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        mode = dialog->fileMode();
        folder = dialog->directory().absolutePath();
        dialog->selectFile(QStringLiteral("frame_1.bmp"));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    timer->start();
    window_->action(command::open)->trigger();
    delete timer;
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("ファイルを開く！"));
    // The three file types first and in order; video and image files after them.
    QCOMPARE(filters.mid(0, 3),
             (QStringList{QStringLiteral("BMP files(*.bmp)"), QStringLiteral("MSI Files(*.001)"),
                          QStringLiteral("All Files(*.*)")}));
    QCOMPARE(filters.size(), 5);
    QCOMPARE(suffix, QStringLiteral("bmp"));
    QCOMPARE(mode, QFileDialog::ExistingFiles);
    QCOMPARE(folder, QDir(QString::fromStdString(folder_.path.string())).absolutePath());
    const FrameStore& store = window_->store();
    QCOMPARE(store.reference_count, 1);
    QCOMPARE(store.reference_names[0], paths_[1]);
    // The other slots keep their frames; only the count changed.
    QVERIFY(is_present(store.reference_pixels[2]));
}

void MainWindowTest::encoder_refusal_box() {
    // A profile folder without h264/SimpleEncoder.exe: the start fails and the refusal shows.
    FrameStore& store = window_->store();
    const std::string kept = store.profile_folder;
    store.profile_folder = folder_.path.string();
    test::SeenMessageBox refusal;
    test::answer_next_message_box(QMessageBox::Ok, refusal);
    window_->action(command::h264_avc)->trigger();
    store.profile_folder = kept;
    QVERIFY(refusal.seen);
    QCOMPARE(refusal.text, QStringLiteral("アドレスが正しくありません!!"));
    QCOMPARE(refusal.caption, QStringLiteral("CAUTION !! "));
    QCOMPARE(refusal.icon, QMessageBox::Information);
}

// Processes running the built orv-encoder, by id.
std::set<int> encoder_processes() {
    std::set<int> ids;
    const std::filesystem::path program =
        std::filesystem::canonical(std::filesystem::path(ORV_ENCODER_DIR) / "orv-encoder");
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code error;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", error);
        if (!error && exe == program) ids.insert(std::stoi(name));
    }
    return ids;
}

void MainWindowTest::encoder_started_from_default_profile() {
    // The bundled profile folder's h264/SimpleEncoder.exe starts ORV's encoder window,
    // detached, found through the folder orv names for its children.
    FrameStore& store = window_->store();
    store.profile_folder = ORV_DEFAULT_PROFILE;
    qputenv("ORV_PROGRAM_DIR", ORV_ENCODER_DIR);
    const std::set<int> before = encoder_processes();
    window_->action(command::h264_avc)->trigger();
    int started = 0;
    for (int wait = 0; wait < 100 && started == 0; ++wait) {
        for (int id : encoder_processes()) {
            if (before.count(id) == 0) started = id;
        }
        if (started == 0) QTest::qWait(100);
    }
    QVERIFY(started != 0);
    ::kill(started, SIGTERM);
}

void MainWindowTest::message_boxes_show_their_captions_whole() {
    QFont title_font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    title_font.setBold(true);
    const QFontMetrics title(title_font);
    const std::string path = folder_.file("a folder with a rather long name/frames_0001.bmp");
    for (const std::string& caption : {path, std::string("...について"), std::string(900, 'W')}) {
        MessageRequest request;
        request.text = "同名のファイルが既に存在しています";
        request.caption = caption;
        test::SeenMessageBox seen;
        test::answer_next_message_box(QMessageBox::Ok, seen);
        window_->platform().message_box(request);
        QVERIFY(seen.seen);
        // The caption, and room for the title bar's icon and buttons; never beyond the screen.
        const int needed = title.horizontalAdvance(QString::fromStdString(caption)) + 100;
        QVERIFY2(seen.width >= std::min(needed, seen.screen_width),
                 qPrintable(QStringLiteral("%1 < %2").arg(seen.width).arg(needed)));
        QVERIFY(seen.width <= seen.screen_width);
    }
}

void MainWindowTest::close_answered_no_then_yes() {
    test::SeenMessageBox no;
    test::answer_next_message_box(QMessageBox::No, no);
    window_->action(command::exit)->trigger();
    QVERIFY(no.seen);
    QCOMPARE(no.text, QStringLiteral("終了してもよいですか"));
    QCOMPARE(no.caption, QStringLiteral("終了確認"));
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->store().reference_count, 1);
    QVERIFY(is_present(window_->store().reference_pixels[0]));
    QVERIFY(is_present(window_->store().reference_pixels[2]));

    test::SeenMessageBox yes;
    test::answer_next_message_box(QMessageBox::Yes, yes);
    window_->close();
    QVERIFY(yes.seen);
    QVERIFY(!window_->isVisible());
    window_.reset();
    shut_down_frame_store(frame_store());
    QVERIFY(!is_present(frame_store().reference_pixels[0]));
}

}  // namespace orv

QTEST_MAIN(orv::MainWindowTest)
#include "test_main_window.moc"
