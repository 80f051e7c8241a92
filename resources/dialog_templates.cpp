#include "resources/dialog_templates.h"

namespace orv {

namespace {

using K = ControlKind;

DialogTemplate setting_dialog() {
    namespace s = settings_item;
    DialogTemplate d;
    d.name = "SETTING_DLG";
    d.caption = "環境設定";
    d.width = 316;
    d.height = 134;
    d.controls = {
        {no_item_id, K::label, "PROFILE DATA アドレス", 21, 13, 75, 8},
        {s::folder_edit, K::edit, "", 20, 24, 228, 14},
        {s::choose_folder, K::button, "アドレス指定", 259, 23, 50, 14},
        {no_item_id, K::label, "Display Profile (GOG MODEL)", 20, 47, 104, 12},
        {s::display_path, K::edit, "", 18, 58, 231, 14},
        {no_item_id, K::label, "Color Matching Function", 19, 76, 104, 12},
        {s::cone_path, K::edit, "", 18, 88, 232, 14},
        {item::ok, K::default_button, "OK", 259, 97, 50, 14},
        {item::cancel, K::button, "キャンセル", 259, 113, 50, 14},
    };
    return d;
}

DialogTemplate atd_setting_dialog() {
    namespace s = settings_item;
    DialogTemplate d;
    d.name = "ATD_SETTING_DLG";
    d.caption = "ATDフィルタ設定";
    d.width = 368;
    d.height = 167;
    d.controls = {
        {no_item_id, K::label, "PROFILE DATA アドレス", 9, 26, 75, 8},
        {s::folder_edit, K::edit, "", 99, 24, 182, 14},
        {s::choose_folder, K::button, "アドレス指定", 311, 24, 50, 14},
        {s::load_kernels, K::button, "読み込む", 311, 68, 50, 14},
        {no_item_id, K::label, "Aフィルター", 76, 49, 37, 11},
        {no_item_id, K::label, "Tフィルター", 171, 49, 38, 11},
        {no_item_id, K::label, "Dフィルター", 247, 49, 40, 11},
        {no_item_id, K::label, "標準偏差", 11, 66, 33, 8},
        {no_item_id, K::label, "重み", 21, 81, 16, 8},
        {s::a_spread_1, K::edit, "", 49, 63, 28, 14},
        {s::a_spread_2, K::edit, "", 81, 63, 26, 14},
        {s::a_spread_3, K::edit, "", 112, 63, 30, 14},
        {s::a_weight_1, K::edit, "", 50, 79, 27, 14},
        {s::a_weight_2, K::edit, "", 81, 79, 26, 14},
        {s::a_weight_3, K::edit, "", 112, 79, 30, 14},
        {s::t_spread_1, K::edit, "", 157, 62, 27, 14},
        {s::t_spread_2, K::edit, "", 188, 62, 27, 14},
        {s::t_weight_1, K::edit, "", 158, 78, 26, 14},
        {s::t_weight_2, K::edit, "", 188, 78, 28, 14},
        {s::d_spread_1, K::edit, "", 233, 62, 27, 14},
        {s::d_spread_2, K::edit, "", 264, 62, 27, 14},
        {s::d_weight_1, K::edit, "", 234, 78, 26, 14},
        {s::d_weight_2, K::edit, "", 264, 78, 27, 14},
        {item::ok, K::default_button, "OK", 311, 129, 50, 14},
        {item::cancel, K::button, "キャンセル", 311, 146, 50, 14},
    };
    return d;
}

DialogTemplate colour_diff_dialog() {
    namespace c = colour_diff_item;
    DialogTemplate d;
    d.name = "COLOR_DIFF_DLG";
    d.caption = "色差画像生成";
    d.width = 382;
    d.height = 151;
    d.controls = {
        {c::scielab_check, K::check_box, "S_CIELAB", 60, 14, 47, 10},
        {c::cielab_check, K::check_box, "CIELAB", 60, 25, 39, 10},
        {c::reference_path, K::edit, "", 57, 47, 242, 14},
        {c::open_reference, K::button, "原画像", 305, 46, 50, 14},
        {c::degraded_path, K::edit, "", 57, 69, 243, 14},
        {c::open_degraded, K::button, "劣化画像", 305, 69, 50, 14},
        {item::ok, K::default_button, "OK", 304, 110, 50, 14},
        {item::cancel, K::button, "キャンセル", 304, 127, 50, 14},
    };
    return d;
}

DialogTemplate noise_dialog() {
    namespace n = noise_item;
    DialogTemplate d;
    d.name = "RNDNOISE_DLG";
    d.caption = "ランダムノイズ";
    d.width = 200;
    d.height = 136;
    d.controls = {
        {no_item_id, K::centred_label, "標準偏差", 82, 16, 52, 8},
        {no_item_id, K::label, "Rチャンネル", 34, 29, 37, 9},
        {n::sigma_red, K::edit, "", 76, 27, 64, 12},
        {no_item_id, K::label, "Gチャンネル", 34, 43, 37, 9},
        {n::sigma_green, K::edit, "", 76, 41, 64, 12},
        {no_item_id, K::label, "Bチャンネル", 34, 57, 37, 9},
        {n::sigma_blue, K::edit, "", 76, 55, 64, 12},
        {no_item_id, K::label, "シード", 34, 75, 37, 9},
        {n::seed, K::edit, "", 76, 73, 64, 12},
        {item::ok, K::default_button, "OK", 143, 95, 50, 14},
        {item::cancel, K::button, "キャンセル", 143, 115, 50, 14},
    };
    return d;
}

}  // namespace

const std::vector<DialogTemplate>& dialog_templates() {
    static const std::vector<DialogTemplate> templates = {setting_dialog(), atd_setting_dialog(),
                                                          colour_diff_dialog(), noise_dialog()};
    return templates;
}

const DialogTemplate* find_dialog_template(const std::string& name) {
    for (const DialogTemplate& d : dialog_templates()) {
        if (d.name == name) return &d;
    }
    return nullptr;
}

const DialogControl* find_dialog_control(const DialogTemplate& dialog, int id) {
    if (id == no_item_id) return nullptr;
    for (const DialogControl& c : dialog.controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

}  // namespace orv
