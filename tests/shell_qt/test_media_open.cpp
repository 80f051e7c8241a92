// An MP4 video opened through the real open dialog on the offscreen platform: its frames fill
// the slots, ランダムノイズ reads each frame of the video again, and 色差画像生成 measures the
// video against its noisy copy.

#include <functional>
#include <memory>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "shell/frame_store.h"
#include "shell/qt/dialog_builder.h"
#include "shell/qt/main_window_qt.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {

namespace {

// Acts on the first modal widget for which `act` returns true.
struct ModalScript {
    std::function<bool(QWidget*)> act;
    bool seen = false;
    QTimer timer;

    explicit ModalScript(std::function<bool(QWidget*)> action) : act(std::move(action)) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w == nullptr || !w->isVisible() || seen) return;
            if (act(w)) {
                seen = true;
                timer.stop();
            }
        });
        timer.start();
    }
};

// Clicks OK in the template dialog `name` after `before` ran on it.
std::function<bool(QWidget*)> in_dialog(const QString& name,
                                        std::function<void(TemplateDialog&)> before = {}) {
    return [name, before](QWidget* w) {
        auto* d = dynamic_cast<TemplateDialog*>(w);
        if (d == nullptr || d->objectName() != name) return false;
        if (before) before(*d);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(d->item(item::ok)), Qt::LeftButton);
        return true;
    };
}

}  // namespace

class MediaOpenTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void open_and_measure_a_video();

private:
    void run_command(int id) { window_->action(id)->trigger(); }

    test::TempFolder temp_;
    std::string video_;
    std::unique_ptr<MainWindowQt> window_;
};

void MediaOpenTest::initTestCase() {
    install_japanese_translations();
    video_ = temp_.file("clip.mp4");
    test::VideoSpec spec;
    spec.container = "mp4";
    spec.codec = "libx264";
    spec.pixel_format = "yuv420p";
    spec.width = 64;
    spec.height = 48;
    spec.codec_options = {{"preset", "ultrafast"}};
    QCOMPARE(QString::fromStdString(test::write_video(video_, spec, 4, test::pattern_frames())),
             QString());
    FrameStore& store = frame_store();
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void MediaOpenTest::open_and_measure_a_video() {
    FrameStore& store = window_->store();
    window_->platform().choose_folder = [](Window, const std::string&, const std::string&) {
        return std::optional<std::string>(ORV_DEFAULT_PROFILE);
    };
    {
        ModalScript script(in_dialog(QStringLiteral("SETTING_DLG"), [](TemplateDialog& d) {
            QTest::mouseClick(qobject_cast<QAbstractButton*>(d.item(settings_item::choose_folder)),
                              Qt::LeftButton);
        }));
        run_command(command::environment_settings);
        QVERIFY(script.seen);
    }
    {
        ModalScript script(in_dialog(QStringLiteral("ATD_SETTING_DLG")));
        run_command(command::atd_filter_settings);
        QVERIFY(script.seen);
        QCOMPARE(store.atd_filter_set, 1);
    }
    // ファイル → 開く: the real file dialog, the video chosen in it.
    QStringList filters;
    ModalScript choose([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (dialog == nullptr) return false;
        filters = dialog->nameFilters();
        dialog->selectFile(QString::fromStdString(video_));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    });
    run_command(command::open);
    QVERIFY(choose.seen);
    QCOMPARE(filters.size(), 5);
    QVERIFY(filters[3].contains(QStringLiteral("*.mp4")));
    QCOMPARE(store.reference_count, 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(store.reference_names[i], video_);
        QCOMPARE(store.reference_frame_index[i], i);
        QCOMPARE(store.frame_width[i], 64);
    }
    {
        ModalScript script(in_dialog(QStringLiteral("RNDNOISE_DLG"), [](TemplateDialog& d) {
            for (int id :
                 {noise_item::sigma_red, noise_item::sigma_green, noise_item::sigma_blue}) {
                auto* edit = qobject_cast<QLineEdit*>(d.item(id));
                edit->selectAll();
                QTest::keyClicks(edit, QStringLiteral("8"));
            }
        }));
        run_command(command::random_noise);
        QVERIFY(script.seen);
    }
    QCOMPARE(store.degraded_count, 4);
    for (int i = 0; i < 4; ++i) {
        QVERIFY(store.degraded_pixels[i].bytes != store.reference_pixels[i].bytes);
        QCOMPARE(store.degraded_pixels[i].bytes.size(), store.reference_pixels[i].bytes.size());
    }
    // The frames of the video differ from one another, so a noisy copy of the wrong frame
    // would show a large difference.
    {
        ModalScript script(in_dialog(QStringLiteral("COLOR_DIFF_DLG")));
        run_command(command::colour_difference);
        QVERIFY(script.seen);
    }
    QCOMPARE(store.diff_ready, 1);
    for (int i = 0; i < 4; ++i) {
        QVERIFY(store.diff_results[i].mean > 0.0);
        QVERIFY2(store.diff_results[i].mean < 10.0,
                 qPrintable(QString::number(store.diff_results[i].mean)));
    }
}

}  // namespace orv

QTEST_MAIN(orv::MediaOpenTest)
#include "test_media_open.moc"
