#include "resources/menu.h"

namespace orv {

const std::vector<Menu>& main_menu() {
    static const std::vector<Menu> menus = {
        {"ファイル(&F)",
         {{"開く(&O)", command::open}, {"保存(&S)", command::save}, {"終了(&X)", command::exit}}},
        {"イメージ(&I)", {{"色差画像(&C)", command::colour_difference}}},
        {"設定(&E)",
         {{"ATDフィルタ設定", command::atd_filter_settings},
          {"環境設定", command::environment_settings}}},
        {"劣化処理(&O)",
         {{"ランダムノイズ", command::random_noise}, {"H.264/AVC", command::h264_avc}}},
        {"フィルタ(&T)", {{"S_CIELAB", command::scielab}}},
        {"ヘルプ(&H)", {{"・・・について(&A)", command::about}}},
    };
    return menus;
}

char menu_mnemonic(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {  // "&&" is a literal ampersand
            ++i;
            continue;
        }
        return text[i + 1];
    }
    return 0;
}

}  // namespace orv
