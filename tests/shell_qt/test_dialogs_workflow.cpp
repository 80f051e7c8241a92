// The whole workflow through the real main window and the real dialogs on the offscreen
// platform: choose the profile folder, accept the filters, open a sequence, make random noise,
// make the colour-difference images, read the lower pane, save the degraded sequence; and the
// same measurement made by the batch path from the saved files.

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "image/bmp_file.h"
#include "measure/degradations.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"
#include "shell/frame_store.h"
#include "shell/panes.h"
#include "shell/qt/dialog_builder.h"
#include "shell/qt/main_window_qt.h"
#include "tests/support/pipeline_calls.h"
#include "tests/support/temp_folder.h"

namespace orv {

namespace {

// Acts on the template dialog `name` as soon as it is the active modal window.
struct DialogScript {
    QString name;
    std::function<void(TemplateDialog&)> act;
    bool seen = false;
    QTimer timer;

    DialogScript(QString dialog_name, std::function<void(TemplateDialog&)> action)
        : name(std::move(dialog_name)), act(std::move(action)) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            auto* d = dynamic_cast<TemplateDialog*>(QApplication::activeModalWidget());
            if (d == nullptr || d->objectName() != name || !d->isVisible() || seen) return;
            seen = true;
            timer.stop();
            act(*d);
            // A script that stopped at a failed check closes the dialog: the run goes on to
            // report the failure instead of waiting for a click that never comes.
            if (d->isVisible()) d->done(item::cancel);
        });
        timer.start();
    }
};

void click(TemplateDialog& d, int id) {
    auto* button = qobject_cast<QAbstractButton*>(d.item(id));
    QVERIFY(button != nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

QString edit_text(TemplateDialog& d, int id) {
    auto* edit = qobject_cast<QLineEdit*>(d.item(id));
    return edit == nullptr ? QString() : edit->text();
}

}  // namespace

class DialogsWorkflowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void choose_the_profile_folder();
    void accept_the_filters();
    void open_a_sequence();
    void make_random_noise();
    void make_the_colour_difference_images();
    void read_the_lower_pane();
    void save_the_degraded_sequence();
    void batch_path_gives_the_same_means();
    void cleanupTestCase();

private:
    void settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    void run_command(int id) { window_->action(id)->trigger(); }

    test::TempFolder start_;
    test::TempFolder out_;
    std::string profile_ = ORV_DEFAULT_PROFILE;
    std::vector<std::string> references_;
    std::unique_ptr<MainWindowQt> window_;
    QStringList unexpected_;
    QTimer box_sentinel_;
    bool comma_locale_ = false;
};

void DialogsWorkflowTest::initTestCase() {
    install_japanese_translations();
    // Run a second time under a comma-decimal locale: the application took it up at start.
    comma_locale_ = qEnvironmentVariableIsSet("ORV_TEST_COMMA_LOCALE");
    if (comma_locale_) {
        QCOMPARE(QString::fromLatin1(std::localeconv()->decimal_point), QStringLiteral(","));
        QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));
    }
    const std::filesystem::path samples =
        std::filesystem::path(profile_).parent_path().parent_path() / "samples";
    for (int i = 0; i < 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "reference_%04d.bmp", i);
        references_.push_back((samples / name).string());
        QVERIFY(std::filesystem::exists(references_.back()));
    }
    // A message box nobody expects would block the run: record it and close it.
    box_sentinel_.setInterval(20);
    connect(&box_sentinel_, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        unexpected_ << box->windowTitle() + QStringLiteral(": ") + box->text();
        box->done(QMessageBox::Ok);
    });
    box_sentinel_.start();

    FrameStore& store = frame_store();
    reset_frame_store(store);
    // Started in a folder without profile data: the folder must be chosen.
    start_frame_store(store, start_.path.string());
    window_ = std::make_unique<MainWindowQt>(store);
    window_->resize(900, 700);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void DialogsWorkflowTest::choose_the_profile_folder() {
    std::string asked_start;
    window_->platform().choose_folder = [this, &asked_start](Window, const std::string& title,
                                                             const std::string& start) {
        asked_start = start;
        return title == "PROFILE DATA フォルダの指定" ? std::optional<std::string>(profile_)
                                                      : std::optional<std::string>();
    };
    DialogScript script(QStringLiteral("SETTING_DLG"), [this](TemplateDialog& d) {
        QCOMPARE(edit_text(d, settings_item::folder_edit),
                 QString::fromStdString(start_.path.string()));
        click(d, settings_item::choose_folder);
        QCOMPARE(edit_text(d, settings_item::display_path),
                 QString::fromStdString(profile_ + "/DISPGOG_parameter.txt"));
        click(d, item::ok);
    });
    run_command(command::environment_settings);
    QVERIFY(script.seen);
    QCOMPARE(asked_start, start_.path.string());
    QCOMPARE(window_->store().profile_folder, profile_);
    QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join('\n')));
}

void DialogsWorkflowTest::accept_the_filters() {
    FrameStore& store = window_->store();
    QCOMPARE(store.atd_filter_set, 0);
    DialogScript script(QStringLiteral("ATD_SETTING_DLG"), [](TemplateDialog& d) {
        QCOMPARE(edit_text(d, settings_item::a_spread_1), QStringLiteral("0.0500"));
        QCOMPARE(edit_text(d, settings_item::a_spread_3), QStringLiteral("7.0000"));
        QCOMPARE(edit_text(d, settings_item::a_weight_3), QStringLiteral("-0.1080"));
        click(d, item::ok);
    });
    run_command(command::atd_filter_settings);
    QVERIFY(script.seen);
    QCOMPARE(store.atd_filter_set, 1);
    QVERIFY(filter_set_finished(store.atd_filters));
    QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join('\n')));
}

void DialogsWorkflowTest::open_a_sequence() {
    window_->platform().open_files = [this](const FileDialogRequest&) {
        return std::optional<std::vector<std::string>>(references_);
    };
    run_command(command::open);
    const FrameStore& store = window_->store();
    QCOMPARE(store.reference_count, 4);
    QCOMPARE(store.image_loaded, 1);
    QCOMPARE(store.frame_width[0], 96);
}

void DialogsWorkflowTest::make_random_noise() {
    FrameStore& store = window_->store();
    // A tick count that moves on with every seed, from a fixed start, so that the noise (and
    // the screenshot) is the same on every run.
    window_->platform().tick_count = [tick = std::uint32_t{4321}]() mutable { return tick++; };
    DialogScript script(QStringLiteral("RNDNOISE_DLG"), [](TemplateDialog& d) {
        QCOMPARE(edit_text(d, noise_item::sigma_red), QStringLiteral("0"));
        // Typed as a user types: into the edit that has the focus on opening, then Tab on to
        // the next ones. Each typed value replaces the "0".
        QTRY_COMPARE(QApplication::focusWidget(), d.item(noise_item::sigma_red));
        const char* typed[] = {"10", "6.5", "9"};
        for (const char* text : typed) {
            QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(text));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(edit_text(d, noise_item::sigma_red), QStringLiteral("10"));
        QCOMPARE(edit_text(d, noise_item::sigma_green), QStringLiteral("6.5"));
        QCOMPARE(edit_text(d, noise_item::sigma_blue), QStringLiteral("9"));
        click(d, item::ok);
    });
    run_command(command::random_noise);
    QVERIFY(script.seen);
    QCOMPARE(store.degraded_ready, 1);
    QCOMPARE(store.degraded_count, 4);
    // The noise of the typed σ, with the seeds the run drew.
    SeedSource seeds = [tick = std::uint32_t{4321}]() mutable { return tick++; };
    for (int i = 0; i < 4; ++i) {
        PixelBuffer expected;
        HeaderBlock header;
        QVERIFY(read_bmp_frame(references_[i], expected, header) > 0);
        add_gaussian_noise(expected, 10.0, 6.5, 9.0, seeds);
        QVERIFY(store.degraded_pixels[i].bytes == expected.bytes);
        QVERIFY(store.degraded_pixels[i].bytes != store.reference_pixels[i].bytes);
    }
    QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join('\n')));
}

void DialogsWorkflowTest::make_the_colour_difference_images() {
    FrameStore& store = window_->store();
    DialogScript script(QStringLiteral("COLOR_DIFF_DLG"), [](TemplateDialog& d) {
        QCOMPARE(edit_text(d, colour_diff_item::reference_path), QString());
        click(d, item::ok);
    });
    run_command(command::colour_difference);
    QVERIFY(script.seen);
    QCOMPARE(store.diff_ready, 1);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(store.diff_results[i].width, store.frame_width[i]);
        QVERIFY(store.diff_results[i].mean > 0.0);
        QVERIFY(is_present(store.diff_pixels[i]));
    }
    QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join('\n')));
}

void DialogsWorkflowTest::read_the_lower_pane() {
    FrameStore& store = window_->store();
    window_->platform().invalidate(Window::main, true);
    settle();
    ImagePane* lower = window_->pane(Pane::lower);
    QTRY_VERIFY(lower->last_drawing().drawn);
    QTRY_VERIFY(window_->pane(Pane::right)->last_drawing().drawn);
    const double scale = store.display_scale;
    QVERIFY(scale > 0.0);
    const QPoint at =
        lower->contentsRect().topLeft() +
        QPoint(static_cast<int>((41 + 0.5) * scale), static_cast<int>((17 + 0.5) * scale));
    QTest::mouseMove(lower, at);
    settle();
    QCOMPARE(store.cursor_x, 41);
    QCOMPARE(store.cursor_y, 17);
    const InterleavedImage& diff = store.diff_results[0];
    const double value =
        diff.data[static_cast<std::size_t>(diff.height - 1 - 17) * diff.width + 41];
    QTRY_COMPARE(lower->status()->part_text(0), QStringLiteral(" X:41 Y:17"));
    QCOMPARE(lower->status()->part_text(1), QString::fromStdString(difference_readout(value)));
    QCOMPARE(lower->status()->part_text(2),
             QString::fromStdString(mean_difference_readout(diff.mean)));
    QVERIFY(lower->status()->part_text(1).startsWith(QStringLiteral("⊿Eab:")));

    // The window with all three panes filled, for the documentation.
    if (comma_locale_) return;
    QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
    QVERIFY(window_->grab().save(QStringLiteral(ORV_SCREENSHOT_DIR "/main-window-all-panes.png")));
}

void DialogsWorkflowTest::save_the_degraded_sequence() {
    const std::string chosen = out_.file("noisy.bmp");
    window_->platform().save_file = [chosen](const FileDialogRequest&) {
        return std::optional<std::string>(chosen);
    };
    run_command(command::save);
    const FrameStore& store = window_->store();
    for (int i = 0; i < 4; ++i) {
        PixelBuffer pixels;
        HeaderBlock header;
        char name[32];
        std::snprintf(name, sizeof name, "noisy_%04d.bmp", i);
        QVERIFY(read_bmp_frame(out_.file(name), pixels, header) > 0);
        QVERIFY(pixels.bytes == store.degraded_pixels[i].bytes);
    }
    QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join('\n')));
}

void DialogsWorkflowTest::batch_path_gives_the_same_means() {
    const FrameStore& store = window_->store();
    std::vector<std::string> degraded;
    for (int i = 0; i < 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "noisy_%04d.bmp", i);
        degraded.push_back(out_.file(name));
    }
    // The batch path's measurement, from the files on disk.
    for (int i = 0; i < 4; ++i) {
        PixelBuffer reference, noisy, output;
        HeaderBlock header;
        QVERIFY(read_bmp_frame(references_[i], reference, header) > 0);
        QVERIFY(read_bmp_frame(degraded[i], noisy, header) > 0);
        InterleavedImage result;
        QCOMPARE(test_calls::make_difference_image(reference, noisy, output, kernel_sample_angle,
                                                   store.atd_filters, profile_, result),
                 1);
        QCOMPARE(result.mean, store.diff_results[i].mean);
    }
    // And orv-cli diff itself, when it was built next to this test.
    const QString cli =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../../cli/orv-cli");
    if (!QFileInfo::exists(cli)) QSKIP("orv-cli not built");
    const QString csv = QString::fromStdString(out_.file("diff.csv"));
    QStringList args{QStringLiteral("diff"),
                     QStringLiteral("--profile"),
                     QString::fromStdString(profile_),
                     QStringLiteral("--csv"),
                     csv,
                     QStringLiteral("--reference")};
    for (const auto& r : references_) args << QString::fromStdString(r);
    args << QStringLiteral("--degraded");
    for (const auto& d : degraded) args << QString::fromStdString(d);
    QProcess process;
    process.start(cli, args);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 4; ++i) {
        const QStringList fields = lines[i + 1].split(',');
        QVERIFY(fields.size() >= 6);
        QCOMPARE(fields[0], QString::number(i));
        // The table's mean and the lower pane's mean readout: the same six decimals.
        QCOMPARE(QStringLiteral("S-CIELAB色差:") + fields[3],
                 QString::fromStdString(mean_difference_readout(store.diff_results[i].mean)));
    }
}

void DialogsWorkflowTest::cleanupTestCase() {
    box_sentinel_.stop();
    window_.reset();
    shut_down_frame_store(frame_store());
}

}  // namespace orv

QTEST_MAIN(orv::DialogsWorkflowTest)
#include "test_dialogs_workflow.moc"
