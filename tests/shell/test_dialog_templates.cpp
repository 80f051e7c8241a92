// The dialog templates: every control inside its dialog, ids unique, OK the one default.

#include <gtest/gtest.h>
#include <set>

#include "resources/dialog_templates.h"

namespace orv {
namespace {

TEST(DialogTemplates, EveryControlLiesInsideItsDialogAndIdsAreUnique) {
    ASSERT_EQ(dialog_templates().size(), 4u);
    for (const DialogTemplate& d : dialog_templates()) {
        SCOPED_TRACE(d.name);
        EXPECT_EQ(d.font_name, "MS Shell Dlg");
        EXPECT_EQ(d.font_points, 8);
        std::set<int> ids;
        int defaults = 0;
        for (const DialogControl& c : d.controls) {
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_LE(c.x + c.width, d.width) << c.text << " " << c.id;
            EXPECT_LE(c.y + c.height, d.height) << c.text << " " << c.id;
            if (c.id != no_item_id) {
                EXPECT_TRUE(ids.insert(c.id).second) << c.id;
            }
            if (c.kind == ControlKind::default_button) {
                ++defaults;
                EXPECT_EQ(c.id, item::ok);
            }
        }
        EXPECT_EQ(defaults, 1);
        ASSERT_NE(find_dialog_control(d, item::cancel), nullptr);
        EXPECT_EQ(find_dialog_control(d, item::cancel)->text, "キャンセル");
        EXPECT_EQ(find_dialog_template(d.name), &d);
    }
    EXPECT_EQ(find_dialog_template("MYMENU"), nullptr);
}

TEST(DialogTemplates, CaptionsSizesAndControlCounts) {
    const struct {
        const char* name;
        const char* caption;
        int width, height;
        std::size_t controls;
    } cases[] = {
        {"SETTING_DLG", "環境設定", 316, 134, 9},
        {"ATD_SETTING_DLG", "ATDフィルタ設定", 368, 167, 25},
        {"COLOR_DIFF_DLG", "色差画像生成", 382, 151, 8},
        {"RNDNOISE_DLG", "ランダムノイズ", 200, 136, 11},  // with the seed's label and edit
    };
    for (const auto& c : cases) {
        const DialogTemplate* d = find_dialog_template(c.name);
        ASSERT_NE(d, nullptr) << c.name;
        EXPECT_EQ(d->caption, c.caption);
        EXPECT_EQ(d->width, c.width);
        EXPECT_EQ(d->height, c.height);
        EXPECT_EQ(d->controls.size(), c.controls);
    }
    const DialogControl* edit = find_dialog_control(*find_dialog_template("ATD_SETTING_DLG"), 1021);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->kind, ControlKind::edit);
    EXPECT_EQ(edit->x, 188);
    EXPECT_EQ(edit->y, 78);
    EXPECT_EQ(edit->width, 28);
    EXPECT_EQ(edit->height, 14);
}

}  // namespace
}  // namespace orv
