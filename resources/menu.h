#pragma once
// The menu "MYMENU" as data: its menus, items, texts with mnemonics, and command ids.
// A "&" in a text marks the mnemonic letter that follows it.

#include <string>
#include <utility>
#include <vector>

namespace orv {

inline constexpr const char* main_menu_name = "MYMENU";

// Command ids of the main window.
namespace command {
inline constexpr int open = 40005;
inline constexpr int save = 40033;
inline constexpr int exit = 40006;
inline constexpr int colour_difference = 40024;
inline constexpr int atd_filter_settings = 40019;
inline constexpr int environment_settings = 40014;
inline constexpr int random_noise = 40032;
inline constexpr int h264_avc = 40026;
inline constexpr int scielab = 40020;
inline constexpr int about = 40007;
// Added to the menu bar (window_menu): the 表示 menu.
inline constexpr int fit_view = 40101;
inline constexpr int heatmap_view = 40102;
inline constexpr int results_window = 40103;
// Added to the ファイル menu, before 終了: the export of the current measurement.
inline constexpr int export_results = 40104;
// Added to the 表示 menu: show the frame of a number typed in.
inline constexpr int go_to_frame = 40105;
// Added to the 表示 menu: zoom of the three panes, flicker, threshold overlay.
inline constexpr int zoom_1 = 40106;
inline constexpr int zoom_2 = 40107;
inline constexpr int zoom_4 = 40108;
inline constexpr int zoom_8 = 40109;
inline constexpr int flicker = 40110;
inline constexpr int threshold_overlay = 40111;
// Added to the 設定 menu, after its items: 観察条件 (the viewer as an input).
inline constexpr int viewing_conditions = 40112;
}  // namespace command

struct MenuItem {
    MenuItem(std::string text_, int command_, bool checkable_ = false,
             std::vector<MenuItem> submenu_ = {})
        : text(std::move(text_)),
          command(command_),
          checkable(checkable_),
          submenu(std::move(submenu_)) {}
    std::string text;
    int command = 0;
    bool checkable = false;
    std::vector<MenuItem> submenu;  // non-empty: the item opens these (command unused)
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

// The top-level menus, left to right.
const std::vector<Menu>& main_menu();

// The menu bar the main window shows: main_menu with every menu, item and order kept, plus
// the 表示 menu (view settings, results window) before ヘルプ and エクスポート in the ファイル menu
// before 終了, and 観察条件 at the end of the 設定 menu. An item with a submenu opens it.
const std::vector<Menu>& window_menu();

// The letter after the first single "&" of a menu text, or 0 when the text has none.
char menu_mnemonic(const std::string& text);

}  // namespace orv
