#include "shell/failure_texts.h"

#include <regex>
#include <utility>
#include <vector>

namespace orv {

namespace {

struct FailureText {
    std::regex english;
    const char* japanese;  // $1, $2, ... stand for the groups of `english`
};

// The subject of a filter-parameter failure: a kernel file, or the filter being edited.
constexpr const char* filter_subject = R"((?:kernel file \[(.*)\]|the filter being sized))";

const std::vector<FailureText>& failure_texts() {
    static const std::vector<FailureText> texts = [] {
        const auto filter = [](const std::string& rest) {
            return std::regex(std::string("^Error: ") + filter_subject + rest + "$");
        };
        std::vector<FailureText> t = {
            // Report files.
            {std::regex(R"(^cannot write (.*): .*$)"), "ファイルの書き込みに失敗しました: $1"},
            // Profile files.
            {std::regex(R"(^(Error: file open \[.*\]\.)$)"), "$1"},
            {std::regex(R"(^Error: file \[(.*)\] holds a token longer than (\d+) characters\.$)"),
             "プロファイルファイル [$1] に$2文字を超える語があります"},
            {std::regex(
                 R"(^Error: file \[(.*)\] is incomplete: it holds (\d+) of the (\d+) values it needs\.$)"),
             "プロファイルファイル [$1] の値が足りません（必要な$3個のうち$2個しかありません）"},
            {std::regex(
                 R"re(^Error: file \[(.*)\] holds the value "(.*)", which is out of range\.$)re"),
             "プロファイルファイル [$1] の値 \"$2\" は扱える範囲を超えています"},
            {std::regex(
                 R"(^Error: display model \[(.*)\]: the (\w+) channel holds a value that is not a finite number\.$)"),
             "ディスプレイモデル [$1] の$2チャンネルに数でない値があります"},
            {std::regex(
                 R"(^Error: display model \[(.*)\]: the (\w+) gain is 0, so the model cannot be inverted\.$)"),
             "ディスプレイモデル [$1] の$2のゲインが0のため、逆変換できません"},
            {std::regex(
                 R"(^Error: display model \[(.*)\]: the (\w+) gamma is not above 0, so the model cannot be inverted\.$)"),
             "ディスプレイモデル [$1] の$2のガンマが0以下のため、逆変換できません"},
            {std::regex(
                 R"(^Error: display model \[(.*)\]: the (\w+) gamma is too small to be inverted\.$)"),
             "ディスプレイモデル [$1] の$2のガンマが小さすぎるため、逆変換できません"},
            {std::regex(
                 R"(^Error: display model \[(.*)\]: the (\w+) channel overflows for bright pixels .*$)"),
             "ディスプレイモデル [$1] "
             "の$"
             "2チャンネルは明るい画素で値があふれます（ゲイン、オフセット、ガンマが大きすぎます）"},
            {std::regex(
                 R"(^Error: matrix \[(RGB|XYZ) to ATD of (.*)\] holds a value that is not a finite number\.$)"),
             "プロファイルフォルダ [$2] の行列から作った$1→ATD行列に数でない値があります"},
            {std::regex(
                 R"(^Error: matrix \[(RGB|XYZ) to ATD of (.*)\] holds a value too large to be used\.$)"),
             "プロファイルフォルダ [$2] の行列から作った$1→ATD行列に大きすぎる値があります"},
            {std::regex(
                 R"(^Error: matrix \[(RGB|XYZ) to ATD of (.*)\] is singular and cannot be inverted\.$)"),
             "プロファイルフォルダ [$2] "
             "の行列から作った$1→ATD行列は特異なため、逆行列を求められません"},
            {std::regex(R"(^Error: matrix \[(.*)\] holds a value that is not a finite number\.$)"),
             "行列ファイル [$1] に数でない値があります"},
            {std::regex(R"(^Error: matrix \[(.*)\] holds a value too large to be used\.$)"),
             "行列ファイル [$1] に大きすぎる値があります"},
            {std::regex(R"(^Error: matrix \[(.*)\] is singular and cannot be inverted\.$)"),
             "行列ファイル [$1] の行列は特異なため、逆行列を求められません"},
            {std::regex(R"(^Error: a colour matrix could not be inverted\.$)"),
             "色変換行列の逆行列を求められません"},
            // Kernel files and filters.
            {std::regex(
                 R"(^Error: kernel file \[(.*)\] holds a token longer than (\d+) characters\.$)"),
             "カーネルファイル [$1] に$2文字を超える語があります"},
            {std::regex(
                 R"(^Error: kernel file \[(.*)\] is incomplete: it ends before the last weight\.$)"),
             "カーネルファイル [$1] が最後の重みの前で終わっています"},
            {std::regex(
                 R"(^Error: kernel file \[(.*)\] has a component count of (-?\d+); at least 1 is needed\.$)"),
             "カーネルファイル [$1] の成分数が$2です（1以上が必要です）"},
            {std::regex(
                 R"(^Error: kernel file \[(.*)\] has a component count of (-?\d+); at most (\d+) are allowed\.$)"),
             "カーネルファイル [$1] の成分数が$2です（$3までしか使えません）"},
            {filter(R"( has no Gaussian components \(count (-?\d+)\)\.)"),
             "\x01$1\x02にガウス成分がありません（成分数 $2）"},
            {filter(R"( lacks spreads or weights for its (\d+) components\.)"),
             "\x01$1\x02の$2個の成分に標準偏差か重みが足りません"},
            {filter(R"( holds a value that is not a finite number\.)"),
             "\x01$1\x02に数でない値があります"},
            {filter(R"( has a component of spread 0\.)"),
             "\x01$1\x02に標準偏差が0の成分があります"},
            {filter(R"( is too wide: its kernel would need more than (\d+) samples\.)"),
             "\x01$1\x02は広すぎます（カーネルに$2を超えるサンプルが必要です）"},
            {std::regex(R"(^(?:Error: t|T)he kernel sample angle must be a positive number\.$)"),
             "カーネルのサンプル角は正の数でなければなりません"},
            {std::regex(R"(^The kernel sample angle is too large for the ATD filters\.$)"),
             "カーネルのサンプル角がATDフィルターに対して大きすぎます"},
            {std::regex(R"(^Error: a filter without a kernel has no response\.$)"),
             "カーネルのないフィルターには周波数応答がありません"},
            {std::regex(R"(^Error: a filter without a response cannot be normalised\.$)"),
             "周波数応答のないフィルターは正規化できません"},
            {std::regex(R"(^Error: a filter whose kernel is all zero .*$)"),
             "カーネルがすべて0（または数でない値）のフィルターは使えません。重みを確かめて下さい"},
            {std::regex(R"(^Error: a kernel can only be widened\.$)"),
             "カーネルは広げることしかできません"},
            {std::regex(
                 R"(^(?:Error: the filters have not been loaded\.|The filters have not been loaded: load the kernel files first\.)$)"),
             "フィルターが読み込まれていません。先にカーネルファイルを読み込んで下さい"},
            {std::regex(R"(^The ATD filters are not ready: .*$)"),
             "ATDフィルターの準備ができていません。ATDフィルタ設定を行って下さい"},
            // Frames and planes.
            {std::regex(
                 R"(^The reference frame \((\d+ x \d+)\) and the degraded frame \((\d+ x \d+)\) differ in size and cannot be compared\.$)"),
             "原画像 ($1) と劣化画像 ($2) の大きさが異なるため、色差を計算できません"},
            {std::regex(
                 R"(^The two CIELAB images differ in size \((\d+ x \d+) and (\d+ x \d+)\) and cannot be compared\.$)"),
             "2つのCIELAB画像の大きさ ($1 と $2) が異なるため、比較できません"},
            {std::regex(
                 R"(^The (\w+) pixel buffer \((\d+ x \d+), stride (\d+), (\d+) bytes\) does not hold a whole frame\.$)"),
             "画素バッファ ($2、ストライド $3、$4 バイト) に1フレーム分の画素がありません"},
            {std::regex(
                 R"(^The destination buffer \((\d+ x \d+)\) does not match the image \((\d+ x \d+)\)\.$)"),
             "出力バッファ ($1) が画像 ($2) と合いません"},
            {std::regex(
                 R"(^The (\w+) buffer \((\d+ x \d+)\) does not match the frame \((\d+ x \d+)\)\.$)"),
             "出力バッファ ($2) がフレーム ($3) と合いません"},
            {std::regex(R"(^The ATD planes do not match the image size\.$)"),
             "ATDプレーンが画像の大きさと合いません"},
            {std::regex(R"(^The grey picture \((\d+ x \d+)\) does not match the (\d+) values\.$)"),
             "色差画像 ($1) が $2 個の値と合いません"},
            {std::regex(R"(^no convergence in (\d+) dsvdcmp iterations$)"),
             "特異値分解が$1回の反復で収束しません"},
        };
        return t;
    }();
    return texts;
}

// The channel names inside the display-model texts.
std::string japanese_channels(std::string text) {
    const std::pair<const char*, const char*> names[] = {{"redチャンネル", "赤チャンネル"},
                                                         {"greenチャンネル", "緑チャンネル"},
                                                         {"blueチャンネル", "青チャンネル"},
                                                         {"redの", "赤の"},
                                                         {"greenの", "緑の"},
                                                         {"blueの", "青の"}};
    for (const auto& [english, japanese] : names) {
        const std::string from = std::string("] の") + english;
        const std::size_t at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), std::string("] の") + japanese);
    }
    return text;
}

const FailureText* find_text(const std::string& message) {
    for (const FailureText& t : failure_texts()) {
        if (std::regex_match(message, t.english)) return &t;
    }
    return nullptr;
}

}  // namespace

bool has_gui_failure_text(const std::string& message) { return find_text(message) != nullptr; }

std::string field_not_number_text(const std::string& field, const std::string& text) {
    return "「" + field + "」の値「" + text + "」は数値ではありません\n数値を入力して下さい\n";
}

std::string gui_failure_text(const std::string& message) {
    const FailureText* t = find_text(message);
    if (t == nullptr) return "処理を続けられません\n" + message;
    std::string text = std::regex_replace(message, t->english, t->japanese,
                                          std::regex_constants::format_first_only);
    // The filter texts name their kernel file, or the filter being edited (no file).
    const std::size_t open = text.find('\x01');
    const std::size_t close = text.find('\x02');
    if (open != std::string::npos && close != std::string::npos && open < close) {
        const std::string path = text.substr(open + 1, close - open - 1);
        text.replace(
            open, close - open + 1,
            path.empty() ? std::string("編集したフィルター") : "カーネルファイル [" + path + "] ");
    }
    return japanese_channels(text);
}

}  // namespace orv
