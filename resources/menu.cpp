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

const std::vector<Menu>& window_menu() {
    static const std::vector<Menu> menus = [] {
        std::vector<Menu> m = main_menu();
        Menu view{"表示(&V)",
                  {{"ウィンドウに合わせる(&W)", command::fit_view, true},
                   {"ヒートマップ表示(&M)", command::heatmap_view, true},
                   {"結果ウィンドウ(&R)", command::results_window},
                   {"等倍 1:1(&1)", command::zoom_1, true},
                   {"2倍(&2)", command::zoom_2, true},
                   {"4倍(&4)", command::zoom_4, true},
                   {"8倍・画素グリッド(&8)", command::zoom_8, true},
                   {"フリッカー比較(&F)", command::flicker, true},
                   {"しきい値を超える画素を表示(&T)...", command::threshold_overlay, true},
                   {"フレーム番号へ移動(&G)...", command::go_to_frame}}};
        m.insert(m.end() - 1, view);
        std::vector<MenuItem>& file = m.front().items;
        file.insert(file.end() - 1, MenuItem{"エクスポート(&E)", command::export_results});
        m[2].items.emplace_back("観察条件", command::viewing_conditions);
        return m;
    }();
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
