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
    void cleanupTestCase();

private:
    std::string write_frame(const std::string& name, int index);
    // Clicks キャンセル of the progress window once `done` frames are reported.
    void cancel_after(int done);
    // Hands the next file dialog, once shown, to `answer`.
    void answer_file_dialog(std::function<void(QFileDialog*)> answer);

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::vector<std::string> reference_;
    std::vector<std::string> degraded_;
};

std::string GuiAdditionsTest::write_frame(const std::string& name, int index) {
    test::BmpSpec spec;
    spec.width = 40;
    spec.height = 24;
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
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    std::ostringstream trace;
    store.atd_filters = load_atd_filters(ORV_DEFAULT_PROFILE, 1, trace);
    store.atd_filter_set = 1;
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

void GuiAdditionsTest::cleanupTestCase() {
    disable_remembered_settings();
    window_.reset();
}

}  // namespace orv

QTEST_MAIN(orv::GuiAdditionsTest)
#include "test_gui_additions.moc"
