// 設定 → 観察条件 with the real widgets: the pixels per degree follows the fields, 既定に戻す,
// OK stores and remembers the choice (in a temporary settings location), a refused value
// keeps the dialog open, and the menu item follows the existing 設定 items.

#include <memory>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "resources/menu.h"
#include "shell/frame_store.h"
#include "shell/qt/remembered.h"
#include "shell/qt/viewing_dialog_qt.h"
#include "shell/viewing_settings.h"

namespace orv {

class ViewingDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir settings_dir;

private slots:
    void initTestCase() {
        QVERIFY(settings_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
        enable_remembered_settings(settings_dir.path());
    }

    void cleanupTestCase() { disable_remembered_settings(); }

    void preview_follows_the_fields_and_default_restores() {
        auto store = std::make_unique<FrameStore>();
        ViewingDialogQt dialog(*store);
        QCOMPARE(dialog.mode_box()->currentIndex(), 0);
        QVERIFY(dialog.preview_label()->text().startsWith(QStringLiteral("68.66 画素/度")));
        QVERIFY(!dialog.field(field_heights)->isEnabled());
        dialog.mode_box()->setCurrentIndex(static_cast<int>(ViewingMode::heights));
        QVERIFY(dialog.field(field_heights)->isEnabled());
        dialog.field(field_heights)->setText(QStringLiteral("3"));
        dialog.field(field_height_pixels)->setText(QStringLiteral("2160"));
        QVERIFY(dialog.preview_label()->text().startsWith(QStringLiteral("113.10 画素/度")));
        dialog.field(field_heights)->setText(QStringLiteral("x"));
        QCOMPARE(dialog.preview_label()->text(), QStringLiteral("値「x」は数値ではありません"));
        dialog.restore_default();
        QCOMPARE(dialog.mode_box()->currentIndex(), 0);
        QVERIFY(dialog.preview_label()->text().startsWith(QStringLiteral("68.66")));
    }

    void ok_stores_and_remembers_the_choice() {
        auto store = std::make_unique<FrameStore>();
        {
            ViewingDialogQt dialog(*store);
            dialog.mode_box()->setCurrentIndex(static_cast<int>(ViewingMode::preset));
            dialog.preset_box()->setCurrentIndex(1);  // desktop27-4k
            QVERIFY(dialog.preview_label()->text().startsWith(QStringLiteral("67.24")));
            dialog.show();
            QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
            dialog.grab().save(QStringLiteral(ORV_SCREENSHOT_DIR "/viewing_dialog.png"));
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(*store->viewing.preset, std::string("desktop27-4k"));
        QCOMPARE(viewing_quarter_line(*store),
                 std::string("観察条件: 67.24 画素/度 (desktop27-4k)"));
        // A new start reads it back.
        auto restarted = std::make_unique<FrameStore>();
        load_viewing_setting(*restarted);
        QCOMPARE(*restarted->viewing.preset, std::string("desktop27-4k"));
        // The dialog opens on the remembered choice; 既定に戻す and OK forget it.
        ViewingDialogQt again(*restarted);
        QCOMPARE(again.mode_box()->currentIndex(), static_cast<int>(ViewingMode::preset));
        QCOMPARE(again.preset_box()->currentIndex(), 1);
        again.restore_default();
        again.accept();
        QVERIFY(viewing_options_empty(restarted->viewing));
        auto third = std::make_unique<FrameStore>();
        load_viewing_setting(*third);
        QVERIFY(viewing_options_empty(third->viewing));
    }

    void refused_values_keep_the_dialog_open() {
        auto store = std::make_unique<FrameStore>();
        store->viewing.ppd = 40.0;
        ViewingDialogQt dialog(*store);
        dialog.show();
        dialog.field(field_ppd)->setText(QStringLiteral("0"));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                    shown = box->text();
                    box->accept();
                }
            }
        });
        dialog.accept();
        QCOMPARE(shown, QStringLiteral(
                            "観察条件 ppd の値 0 は使えません（正の有限の数を入力して下さい）"));
        QVERIFY(dialog.isVisible());
        QCOMPARE(*store->viewing.ppd, 40.0);
    }

    void menu_item_follows_the_settings_items() {
        const std::vector<MenuItem>& items = window_menu()[2].items;
        QCOMPARE(items.size(), std::size_t{3});
        QCOMPARE(items[0].text, std::string("ATDフィルタ設定"));
        QCOMPARE(items[2].text, std::string("観察条件"));
        QCOMPARE(items[2].command, command::viewing_conditions);
    }
};

}  // namespace orv

QTEST_MAIN(orv::ViewingDialogTest)
#include "test_viewing_dialog.moc"
