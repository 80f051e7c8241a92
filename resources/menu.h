#pragma once
// The menu "MYMENU" as data: its menus, items, texts with mnemonics, and command ids.
// A "&" in a text marks the mnemonic letter that follows it.

#include <string>
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
}  // namespace command

struct MenuItem {
    std::string text;
    int command = 0;
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

// The top-level menus, left to right.
const std::vector<Menu>& main_menu();

// The letter after the first single "&" of a menu text, or 0 when the text has none.
char menu_mnemonic(const std::string& text);

}  // namespace orv
