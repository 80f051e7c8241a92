// The menu "MYMENU": six menus with their items, texts, mnemonics and command ids.

#include <gtest/gtest.h>

#include "resources/menu.h"

namespace orv {
namespace {

TEST(MenuTest, MenusItemsAndIdsInOrder) {
    struct Row {
        const char* menu;
        char menu_mnemonic;
        const char* item;
        char item_mnemonic;
        int id;
    };
    const Row rows[] = {
        {"ファイル(&F)", 'F', "開く(&O)", 'O', 40005},
        {"ファイル(&F)", 'F', "保存(&S)", 'S', 40033},
        {"ファイル(&F)", 'F', "終了(&X)", 'X', 40006},
        {"イメージ(&I)", 'I', "色差画像(&C)", 'C', 40024},
        {"設定(&E)", 'E', "ATDフィルタ設定", 0, 40019},
        {"設定(&E)", 'E', "環境設定", 0, 40014},
        {"劣化処理(&O)", 'O', "ランダムノイズ", 0, 40032},
        {"劣化処理(&O)", 'O', "H.264/AVC", 0, 40026},
        {"フィルタ(&T)", 'T', "S_CIELAB", 0, 40020},
        {"ヘルプ(&H)", 'H', "・・・について(&A)", 'A', 40007},
    };
    const std::vector<Menu>& menus = main_menu();
    ASSERT_EQ(menus.size(), 6u);
    std::size_t row = 0;
    for (const Menu& menu : menus) {
        for (const MenuItem& item : menu.items) {
            ASSERT_LT(row, std::size(rows));
            EXPECT_EQ(menu.title, rows[row].menu);
            EXPECT_EQ(menu_mnemonic(menu.title), rows[row].menu_mnemonic);
            EXPECT_EQ(item.text, rows[row].item);
            EXPECT_EQ(menu_mnemonic(item.text), rows[row].item_mnemonic);
            EXPECT_EQ(item.command, rows[row].id);
            ++row;
        }
    }
    EXPECT_EQ(row, std::size(rows));
    EXPECT_STREQ(main_menu_name, "MYMENU");
    EXPECT_EQ(menu_mnemonic("a&&b&c"), 'c');
}

}  // namespace
}  // namespace orv
