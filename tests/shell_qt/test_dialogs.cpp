// The four template dialogs as real Qt widgets on the offscreen platform: geometry from dialog
// units, the kinds of control, routing of clicks, Enter, Escape and the close box to the logic,
// and a screenshot of each.

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "resources/dialog_templates.h"
#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/qt/dialog_builder.h"
#include "tests/shell/dialog_fakes.h"
#include "tests/support/temp_folder.h"

namespace orv {

class DialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TemplateDialog> make(const std::string& name, FrameStore& store,
                                         Platform& platform) {
        auto dialog = std::make_unique<TemplateDialog>(
            *find_dialog_template(name), make_dialog_handlers(name, store, platform), nullptr);
        dialog->show();
        dialog->start();
        return dialog;
    }

    template <class W>
    W* item(TemplateDialog& d, int id) {
        W* w = qobject_cast<W*>(d.item(id));
        if (w == nullptr) qFatal("item %d missing or of another kind", id);
        return w;
    }

    static void save_screenshot(QWidget& widget, const QString& name) {
        QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
        const QString path = QStringLiteral(ORV_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
        QVERIFY(widget.grab().save(path));
    }

private slots:
    void mul_div_rounds_halves_away_from_zero() {
        const struct {
            int a, b, c, expected;
        } cases[] = {{10, 7, 4, 18}, {6, 7, 4, 11},    {2, 6, 8, 2},     {3, 6, 8, 2},
                     {1, 4, 8, 1},   {-10, 7, 4, -18}, {316, 6, 4, 474}, {0, 9, 4, 0}};
        for (const auto& k : cases) QCOMPARE(mul_div(k.a, k.b, k.c), k.expected);
    }

    void base_units_average_the_alphabet_as_the_window_system_does() {
        // 52 letters 312 pixels wide: average 6; 338 wide: 6.5 rounds to 7.
        QCOMPARE(base_units_from_metrics(312, 13).x, 6);
        QCOMPARE(base_units_from_metrics(338, 13).x, 7);
        QCOMPARE(base_units_from_metrics(337, 13).x, 6);
        QCOMPARE(base_units_from_metrics(312, 13).y, 13);
        const QRect r = dialog_units_to_pixels(DialogBaseUnits{6, 13}, 259, 97, 50, 14);
        QCOMPARE(r, QRect(389, 158, 75, 23));
    }

    void every_control_is_built_at_its_place_with_its_kind() {
        FrameStore store;
        test::ScriptedPlatform p;
        for (const DialogTemplate& t : dialog_templates()) {
            auto d = make(t.name, store, p.platform);
            QCOMPARE(d->windowTitle(), QString::fromStdString(t.caption));
            QCOMPARE(d->font().pointSize(), 8);
            const DialogBaseUnits units = template_base_units(d->font(), t);
            QVERIFY(units.x > 0 && units.y > 0);
            QCOMPARE(d->size(), dialog_units_to_pixels(units, 0, 0, t.width, t.height).size());
            QVERIFY(!(d->windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(!(d->windowFlags() & Qt::WindowContextHelpButtonHint));
            int labels = 0;
            for (const DialogControl& c : t.controls) {
                const QRect want = dialog_units_to_pixels(units, c.x, c.y, c.width, c.height);
                if (c.id == no_item_id) {
                    ++labels;
                    continue;
                }
                QWidget* w = d->item(c.id);
                QVERIFY2(w != nullptr, qPrintable(QString::number(c.id)));
                QCOMPARE(w->geometry(), want);
                QCOMPARE(w->focusPolicy(), Qt::StrongFocus);
                switch (c.kind) {
                    case ControlKind::edit: {
                        auto* e = qobject_cast<QLineEdit*>(w);
                        QVERIFY(e != nullptr);
                        QVERIFY(e->hasFrame());
                        break;
                    }
                    case ControlKind::button:
                    case ControlKind::default_button: {
                        auto* b = qobject_cast<QPushButton*>(w);
                        QVERIFY(b != nullptr);
                        QCOMPARE(b->text(), QString::fromStdString(c.text));
                        QCOMPARE(b->isDefault(), c.kind == ControlKind::default_button);
                        break;
                    }
                    case ControlKind::check_box:
                        QVERIFY(qobject_cast<QCheckBox*>(w) != nullptr);
                        break;
                    default:
                        QFAIL("a control with an id that is a label");
                }
            }
            // Labels: one QLabel each, at its place with its text.
            const auto found = d->findChildren<QLabel*>();
            QCOMPARE(static_cast<int>(found.size()), labels);
            for (const DialogControl& c : t.controls) {
                if (c.id != no_item_id) continue;
                bool placed = false;
                for (QLabel* l : found) {
                    if (l->text() == QString::fromStdString(c.text)) {
                        QCOMPARE(l->geometry(),
                                 dialog_units_to_pixels(units, c.x, c.y, c.width, c.height));
                        QCOMPARE(bool(l->alignment() & Qt::AlignHCenter),
                                 c.kind == ControlKind::centred_label);
                        placed = true;
                    }
                }
                QVERIFY2(placed, c.text.c_str());
            }
            d->send_command(item::cancel);
            QVERIFY(d->isHidden());
            QCOMPARE(d->result(), item::cancel);
        }
    }

    void buttons_route_to_the_logic_and_refusals_keep_the_dialog_open() {
        FrameStore store;
        test::ScriptedPlatform p;
        p.folder_answers.push_back(std::string("/data/prof"));
        auto d = make("SETTING_DLG", store, p.platform);
        QCOMPARE(item<QLineEdit>(*d, settings_item::display_path)->text(),
                 QStringLiteral("/DISPGOG_parameter.txt"));
        // OK with the empty folder: the refusal, and the dialog stays.
        QTest::mouseClick(item<QPushButton>(*d, item::ok), Qt::LeftButton);
        QCOMPARE(static_cast<int>(p.messages.size()), 1);
        QVERIFY(d->isVisible());
        // Escape and the close box ask the logic, which closes with Cancel only when it wants.
        QTest::mouseClick(item<QPushButton>(*d, settings_item::choose_folder), Qt::LeftButton);
        QCOMPARE(item<QLineEdit>(*d, settings_item::folder_edit)->text(),
                 QStringLiteral("/data/prof"));
        QCOMPARE(item<QLineEdit>(*d, settings_item::cone_path)->text(),
                 QStringLiteral("/data/prof/SmithPokornyCones.txt"));
        QCOMPARE(item<QLineEdit>(*d, settings_item::cone_path)->cursorPosition(), 0);
        QTest::keyClick(d.get(), Qt::Key_Escape);
        QVERIFY(d->isHidden());
        QCOMPARE(d->result(), item::cancel);
        QCOMPARE(store.profile_folder, std::string("/data/prof"));

        // Enter in an edit presses the default button (OK checks the profile files: a
        // folder that holds them).
        store.profile_folder = ORV_DEFAULT_PROFILE;
        auto e = make("SETTING_DLG", store, p.platform);
        item<QLineEdit>(*e, settings_item::folder_edit)->setFocus();
        QTest::keyClick(item<QLineEdit>(*e, settings_item::folder_edit), Qt::Key_Return);
        QVERIFY(e->isHidden());
        QCOMPARE(e->result(), item::ok);
    }

    void close_box_of_a_dialog_goes_through_cancel() {
        FrameStore store;
        test::ScriptedPlatform p;
        auto d = make("RNDNOISE_DLG", store, p.platform);
        for (int id : {noise_item::sigma_red, noise_item::sigma_green, noise_item::sigma_blue}) {
            QCOMPARE(item<QLineEdit>(*d, id)->text(), QStringLiteral("0"));
        }
        QVERIFY(d->close());
        QVERIFY(d->isHidden());
        QCOMPARE(d->result(), item::cancel);
    }

    void check_boxes_toggle_themselves_and_change_nothing() {
        FrameStore store;
        test::ScriptedPlatform p;
        auto d = make("COLOR_DIFF_DLG", store, p.platform);
        auto* box = item<QCheckBox>(*d, colour_diff_item::cielab_check);
        QVERIFY(!box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!box->isChecked());
        QVERIFY(d->isVisible());
        QVERIFY(p.messages.empty());
    }

    void filter_dialog_ok_through_the_widgets_sets_the_flag() {
        test::TempFolder folder;
        test::write_kernel_files(folder.path);
        FrameStore store;
        store.profile_folder = folder.path.string();
        test::ScriptedPlatform p;
        auto d = make("ATD_SETTING_DLG", store, p.platform);
        QCOMPARE(item<QLineEdit>(*d, settings_item::a_spread_2)->text(), QStringLiteral("0.3333"));
        // The caret starts at the beginning, as in the window system's edits.
        QTest::keyClick(item<QLineEdit>(*d, settings_item::t_weight_2), Qt::Key_End);
        QTest::keyClicks(item<QLineEdit>(*d, settings_item::t_weight_2), QStringLiteral("5"));
        QTest::mouseClick(item<QPushButton>(*d, item::ok), Qt::LeftButton);
        QVERIFY(d->isHidden());
        QCOMPARE(store.atd_filter_set, 1);
        QCOMPARE(store.atd_filters.t.weights[1], 0.40005);
    }

    void screenshots_of_the_four_dialogs() {
        const std::string profile = ORV_DEFAULT_PROFILE;
        FrameStore store;
        store.profile_folder = profile;
        test::ScriptedPlatform p;
        const std::string samples =
            std::filesystem::path(profile).parent_path().parent_path().string() + "/samples";
        p.open_answers.push_back(std::vector<std::string>{samples + "/reference_0000.bmp",
                                                          samples + "/reference_0001.bmp"});
        p.open_answers.push_back(std::vector<std::string>{samples + "/reference_0002.bmp",
                                                          samples + "/reference_0003.bmp"});
        for (const DialogTemplate& t : dialog_templates()) {
            auto d = make(t.name, store, p.platform);
            if (t.name == "COLOR_DIFF_DLG") {
                d->send_command(colour_diff_item::open_reference);
                d->send_command(colour_diff_item::open_degraded);
                item<QCheckBox>(*d, colour_diff_item::scielab_check)->setChecked(true);
                QVERIFY(!item<QLineEdit>(*d, colour_diff_item::degraded_path)->text().isEmpty());
            }
            if (t.name == "ATD_SETTING_DLG") {
                QCOMPARE(item<QLineEdit>(*d, settings_item::a_spread_3)->text(),
                         QStringLiteral("7.0000"));
            }
            save_screenshot(*d, QString::fromStdString(t.name));
        }
        QVERIFY(p.messages.empty());
    }
};

}  // namespace orv

QTEST_MAIN(orv::DialogsTest)
#include "test_dialogs.moc"
