#pragma once
// The dialog templates as data: caption, size and controls in dialog units, and the item ids
// the dialog logic uses. The window layer builds its dialogs from these records.

#include <string>
#include <vector>

namespace orv {

enum class ControlKind {
    label,           // static text, left aligned
    centred_label,   // static text, centred
    edit,            // bordered, horizontally scrolling, tab stop
    button,          // push button, tab stop
    default_button,  // the default push button (OK)
    check_box,       // check box that toggles itself, tab stop
};

// Id of a control no logic refers to (the labels).
constexpr int no_item_id = -1;

struct DialogControl {
    int id = no_item_id;
    ControlKind kind = ControlKind::label;
    std::string text;  // shown at creation; edits start empty
    int x = 0;         // dialog units
    int y = 0;
    int width = 0;
    int height = 0;
};

struct DialogTemplate {
    std::string name;     // "SETTING_DLG"
    std::string caption;  // "環境設定"
    int width = 0;        // dialog units
    int height = 0;
    std::string font_name = "MS Shell Dlg";
    int font_points = 8;
    std::vector<DialogControl> controls;  // in creation (and tab) order
};

// The four templates: "SETTING_DLG", "ATD_SETTING_DLG", "COLOR_DIFF_DLG", "RNDNOISE_DLG".
const std::vector<DialogTemplate>& dialog_templates();
// nullptr when no template has that name.
const DialogTemplate* find_dialog_template(const std::string& name);
// nullptr when the template has no control with that id.
const DialogControl* find_dialog_control(const DialogTemplate& dialog, int id);

// Item ids shared by every dialog.
namespace item {
constexpr int ok = 1;
constexpr int cancel = 2;
}  // namespace item

// "SETTING_DLG" (environment settings) and "ATD_SETTING_DLG" (ATD filter settings).
namespace settings_item {
constexpr int folder_edit = 1001;
constexpr int choose_folder = 1002;
constexpr int load_kernels = 1003;  // ATD filter dialog only
constexpr int display_path = 1011;  // environment dialog only
constexpr int cone_path = 1012;     // environment dialog only
// ATD filter value fields.
constexpr int a_spread_1 = 1010;
constexpr int a_spread_2 = 1013;
constexpr int a_spread_3 = 1014;
constexpr int a_weight_1 = 1015;
constexpr int a_weight_2 = 1016;
constexpr int a_weight_3 = 1017;
constexpr int t_spread_1 = 1018;
constexpr int t_spread_2 = 1019;
constexpr int t_weight_1 = 1020;
constexpr int t_weight_2 = 1021;
constexpr int d_spread_1 = 1022;
constexpr int d_spread_2 = 1023;
constexpr int d_weight_1 = 1024;
constexpr int d_weight_2 = 1025;
}  // namespace settings_item

// "COLOR_DIFF_DLG".
namespace colour_diff_item {
constexpr int scielab_check = 1009;
constexpr int cielab_check = 1010;
constexpr int reference_path = 1006;
constexpr int open_reference = 1007;
constexpr int degraded_path = 1005;
constexpr int open_degraded = 1008;
}  // namespace colour_diff_item

// "RNDNOISE_DLG".
namespace noise_item {
constexpr int sigma_red = 1011;
constexpr int sigma_green = 1012;
constexpr int sigma_blue = 1013;
// Added below the three sigmas: the noise's seed (empty: the tick count before each pass).
constexpr int seed = 1014;
}  // namespace noise_item

}  // namespace orv
