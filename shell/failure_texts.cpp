#include "shell/failure_texts.h"

#include <array>
#include <cstddef>

namespace orv {

namespace {

using K = FailureKind;

struct JapaneseText {
    FailureKind kind;
    const char* text;
    bool path_in_caption = false;
};

// One text per kind; {f} stands for the kernel file or the filter being edited.
const JapaneseText japanese_texts[] = {
    // Files in general.
    {K::cannot_open, "ファイルが開けません", true},
    {K::cannot_create, "ファイルを作成できません: {p}"},
    {K::cannot_write, "ファイルの書き込みに失敗しました: {p}"},
    {K::file_exists, "同名のファイルが既に存在しています", true},
    {K::output_exists, "同名のファイルが既に存在しています", true},
    {K::cannot_make_folder, "出力フォルダを作成できません: {p}"},
    {K::output_no_folder, "出力先のフォルダがありません: {0}", true},
    {K::output_not_folder, "出力先がフォルダではありません: {0}", true},
    {K::media_damaged,
     "動画ファイルが壊れています（{1}フレームを読み込めません。最初はフレーム{0}）", true},
    {K::no_profile, "プロファイルのフォルダにファイルがありません: {0}", true},
    {K::output_twice, "同じファイル名が出力に二度指定されています: {p}"},
    {K::out_of_memory, "メモリが不足しているため処理できません"},
    // BMP files.
    {K::not_a_bmp, "24 or 8 ビットBMPファイルしか読み込めません", true},
    {K::bmp_truncated_header, "BMPファイルのヘッダーが途中で切れています", true},
    {K::bmp_header_format,
     "このBMPファイルのヘッダー形式には対応していません（情報ヘッダーが40バイト未満です）", true},
    {K::bmp_compressed, "圧縮されたBMPファイルは読み込めません", true},
    {K::bmp_bad_size, "BMPファイルの幅または高さが正しくありません", true},
    {K::bmp_top_down, "上から下へ行を並べたBMPファイル（高さが負）は読み込めません", true},
    {K::bmp_too_large, "BMPファイルの画像が大きすぎます", true},
    {K::bmp_out_of_memory, "BMPファイルを読み込むメモリが足りません", true},
    {K::bmp_truncated_pixels, "BMPファイルの画素データがファイルに収まっていません", true},
    {K::bmp_bad_colour_table, "BMPファイルのカラーテーブルが正しくありません", true},
    {K::bmp_bad_colour_index, "BMPファイルにカラーテーブルにない色番号があります", true},
    {K::bmp_bad_frame, "書き込むフレームの画素またはヘッダーが正しくありません", true},
    // Video, image and raw files.
    {K::media_cannot_open, "ファイルが開けません", true},
    {K::media_unreadable, "動画または画像として読み込めないファイルです", true},
    {K::media_text_file, "動画または画像として読み込めないファイルです", true},
    {K::media_no_streams, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_no_video, "映像ストリームがないファイルです", true},
    {K::media_no_decoder, "動画または画像として読み込めないファイルです（コーデック {0}）", true},
    {K::media_decoder_setup, "動画または画像として読み込めないファイルです", true},
    {K::media_decoder_open, "動画または画像として読み込めないファイルです", true},
    {K::media_out_of_memory, "ファイルを読み込むメモリが足りません", true},
    {K::media_no_frame_size, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_size_changes,
     "動画の途中でフレームの大きさが変わっています（フレーム {0} が {1}、最初のフレームが "
     "{2}）",
     true},
    {K::media_too_large, "画像が大きすぎます", true},
    {K::media_raw_needs_format, "RAWファイルには大きさと画素形式の指定が必要です", true},
    {K::media_raw_unknown_format,
     "RAWファイルには大きさと画素形式の指定が必要です（画素形式 {0} は使えません）", true},
    {K::media_raw_empty, "フレームが1枚もないファイルです（{0} のはずです）", true},
    {K::media_raw_length,
     "RAWファイルの長さがフレームの大きさの整数倍ではありません（{0} バイト、1枚は {1}）", true},
    {K::media_corrupt, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_damaged_frame, "動画ファイルが途中で切れているか壊れています（フレーム {0}）", true},
    {K::media_ends_early,
     "動画ファイルが途中で切れているか壊れています（{1} フレームのうち {0} フレームで終わって"
     "います）",
     true},
    {K::media_changed, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_last_frame_cut, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_index_short,
     "動画ファイルが途中で切れているか壊れています（{1} フレームのうち {0} フレームしかあり"
     "ません）",
     true},
    {K::media_duration_short, "動画ファイルが途中で切れているか壊れています", true},
    {K::media_matrix, "この動画の色変換行列には対応していません（{0}）", true},
    {K::media_unknown_pixel_format, "動画または画像として読み込めないファイルです", true},
    {K::media_cannot_convert, "動画または画像として読み込めないファイルです", true},
    {K::media_no_frames, "フレームが1枚もないファイルです", true},
    {K::media_too_many_frames, "フレームが多すぎます", true},
    {K::media_start_beyond,
     "指定された先頭フレームがシーケンスの範囲外です（先頭 {0}、シーケンスは {1} フレーム）", true},
    {K::media_not_read, "前のファイルの読み込みに失敗したため読み込みませんでした", true},
    {K::media_missing_frame,
     "動画ファイルが途中で切れているか壊れています（フレーム {0} がありません）", true},
    {K::media_no_frame, "動画ファイルが途中で切れているか壊れています（フレーム {0} がありません）",
     true},
    // Profile files and colour conversions.
    {K::profile_cannot_open, "Error: file open [{p}]."},
    {K::profile_folder_wrong, "PROFILE DATA フォルダアドレスが間違ってます!! \n"},
    {K::profile_token_too_long, "プロファイルファイル [{p}] に{0}文字を超える語があります"},
    {K::profile_incomplete,
     "プロファイルファイル [{p}] の値が足りません（必要な{1}個のうち{0}個しかありません）"},
    {K::profile_value_out_of_range,
     "プロファイルファイル [{p}] の値 \"{0}\" は扱える範囲を超えています"},
    {K::display_not_finite, "ディスプレイモデル [{p}] の{0}チャンネルに数でない値があります"},
    {K::display_gain_zero, "ディスプレイモデル [{p}] の{0}のゲインが0のため、逆変換できません"},
    {K::display_gamma_not_positive,
     "ディスプレイモデル [{p}] の{0}のガンマが0以下のため、逆変換できません"},
    {K::display_gamma_too_small,
     "ディスプレイモデル [{p}] の{0}のガンマが小さすぎるため、逆変換できません"},
    {K::display_overflow,
     "ディスプレイモデル [{p}] "
     "の{0}チャンネルは明るい画素で値があふれます（ゲイン、オフセット、ガンマが大きすぎます）"},
    {K::matrix_not_finite, "行列ファイル [{p}] に数でない値があります"},
    {K::matrix_too_large, "行列ファイル [{p}] に大きすぎる値があります"},
    {K::matrix_singular, "行列ファイル [{p}] の行列は特異なため、逆行列を求められません"},
    {K::composed_matrix_not_finite,
     "プロファイルフォルダ [{p}] の行列から作った{0}→ATD行列に数でない値があります"},
    {K::composed_matrix_too_large,
     "プロファイルフォルダ [{p}] の行列から作った{0}→ATD行列に大きすぎる値があります"},
    {K::composed_matrix_singular,
     "プロファイルフォルダ [{p}] "
     "の行列から作った{0}→ATD行列は特異なため、逆行列を求められません"},
    {K::inverse_not_finite, "色変換行列の逆行列を求められません"},
    {K::frame_too_large,
     "フレーム ({1} x {2}) が大きすぎます（幅と高さは{3}画素までしか測れません）"},
    {K::pixel_buffer_incomplete,
     "画素バッファ ({1} x {2}、ストライド {3}、{4} バイト) に1フレーム分の画素がありません"},
    {K::planes_incomplete, "プレーンに {1} x {2} 個の値がありません"},
    {K::destination_mismatch, "出力バッファ ({0} x {1}) が画像 ({2} x {3}) と合いません"},
    {K::cielab_size_mismatch,
     "2つのCIELAB画像の大きさ ({0} x {1} と {2} x {3}) が異なるため、比較できません"},
    // Kernel files and filters.
    {K::kernel_token_too_long, "カーネルファイル [{p}] に{0}文字を超える語があります"},
    {K::kernel_incomplete, "カーネルファイル [{p}] が最後の重みの前で終わっています"},
    {K::kernel_count_too_small, "カーネルファイル [{p}] の成分数が{0}です（1以上が必要です）"},
    {K::kernel_count_too_large,
     "カーネルファイル [{p}] の成分数が{0}です（{1}までしか使えません）"},
    {K::filter_no_components, "{f}にガウス成分がありません（成分数 {0}）"},
    {K::filter_missing_values, "{f}の{0}個の成分に標準偏差か重みが足りません"},
    {K::filter_not_finite, "{f}に数でない値があります"},
    {K::filter_zero_spread, "{f}に標準偏差が0の成分があります"},
    {K::filter_too_wide, "{f}は広すぎます（カーネルに{0}を超えるサンプルが必要です）"},
    {K::kernel_angle_not_positive, "カーネルのサンプル角は正の数でなければなりません"},
    {K::filter_without_kernel, "カーネルのないフィルターには周波数応答がありません"},
    {K::filter_without_response, "周波数応答のないフィルターは正規化できません"},
    {K::filter_all_zero,
     "カーネルがすべて0（または数でない値）のフィルターは使えません。重みを確かめて下さい"},
    {K::kernel_narrowing, "カーネルは広げることしかできません"},
    {K::filters_not_loaded,
     "フィルターが読み込まれていません。先にカーネルファイルを読み込んで下さい"},
    {K::filter_fields_not_loaded,
     "フィルターが読み込まれていません。先にカーネルファイルを読み込んで下さい"},
    // The measurement.
    {K::filters_not_ready, "ATDフィルターの準備ができていません。ATDフィルタ設定を行って下さい"},
    {K::sample_angle_not_positive, "カーネルのサンプル角は正の数でなければなりません"},
    {K::sample_angle_too_large, "カーネルのサンプル角がATDフィルターに対して大きすぎます"},
    {K::output_buffer_mismatch, "出力バッファ ({1} x {2}) がフレーム ({3} x {4}) と合いません"},
    {K::spill_read_back, "フィルター処理した原画像を一時ファイルから読み戻せません"},
    {K::frame_sizes_differ,
     "原画像 ({0} x {1}) と劣化画像 ({2} x {3}) の大きさが異なるため、色差を計算できません"},
    {K::grey_picture_mismatch, "色差画像 ({0} x {1}) が {2} 個の値と合いません"},
    {K::pair_size_mismatch,
     "フレーム {0}: 原画像 [{p}] ({1}) と劣化画像 [{2}] ({3}) の大きさが異なるため、色差を"
     "計算できません"},
    {K::array_size_mismatch,
     "原画像 ({0}) と劣化画像 ({1}) の大きさが異なるため、色差を計算できません"},
    {K::missing_inputs, "原画像と劣化画像の両方が必要です"},
    {K::pool_temp_create, "集計用の一時ファイルを作成できません"},
    {K::pool_write, "集計用の一時ファイルに書き込めません"},
    {K::pool_read_back, "集計用の一時ファイルから値を読み戻せません"},
    {K::svd_no_convergence, "特異値分解が{0}回の反復で収束しません"},
    {K::png_encode, "PNG画像を作成できません"},
    // Encoding.
    {K::bitrate_not_a_rate, "ビットレート「{0}」は正の数（800k、2M など）で指定して下さい"},
    {K::codec_unavailable,
     "コーデック {0} は使えません（このマシンには {1} エンコーダーがありません）"},
    {K::unknown_codec, "コーデック「{0}」は使えません（h264、hevc、av1 のいずれかです）"},
    {K::crf_out_of_range, "CRF {0} は {1} で使える範囲外です（{2}から{3}まで）"},
    {K::crf_whole_out_of_range, "CRF {0} は {1} で使える範囲外です（{2}から{3}までの整数）"},
    {K::qp_out_of_range, "QP {0} は {1} で使える範囲外です（{2}から{3}までの整数）"},
    {K::bitrate_out_of_range, "ビットレート {0} は範囲外です（1kから1000Mまで）"},
    {K::unknown_preset, "プリセット「{0}」は {1} にありません（{2}）"},
    {K::gop_out_of_range, "GOP {0} は範囲外です（1から100000まで、0はエンコーダーに任せます）"},
    {K::unknown_pixel_format, "画素形式「{0}」は使えません（yuv420p か yuv444p です）"},
    {K::fps_out_of_range, "フレームレート {0} は範囲外です（0.1から1000まで）"},
    {K::unknown_matrix, "色変換行列「{0}」は使えません（bt601、bt709、bt2020 のいずれかです）"},
    {K::unknown_range, "レンジ「{0}」は使えません（limited か full です）"},
    {K::nothing_to_encode, "エンコードするフレームがありません"},
    {K::odd_frame_size,
     "{0} x {1} のフレームは yuv420p でエンコードできません（幅と高さが偶数である必要があり"
     "ます。yuv444p を使うか、フレームを切り取って下さい）"},
    {K::frames_too_narrow, "{0} x {1} のフレームは hevc には狭すぎます（幅64画素以上が必要です）"},
    {K::mp4_writer_setup, "MP4ファイルの書き出しを準備できません"},
    {K::stream_setup, "ストリームの情報を設定できません"},
    {K::encoder_option, "エンコーダーに{1} {0} を設定できません"},
    {K::encoder_failed, "エンコーダー {0} の処理に失敗しました"},
    {K::encoder_refused_settings, "{0} が設定 ({1}、プリセット {2}、{3}) を受け付けません"},
    {K::no_yuv_conversion, "RGBからYUVへの変換を準備できません"},
    {K::encode_frame_size_changes,
     "フレーム {0} の大きさ ({1} x {2}) がフレーム 0 ({3} x {4}) と異なります"},
    {K::decoded_count_mismatch,
     "{p} を復号すると {0} フレームになり、エンコードした {1} フレームと合いません"},
    {K::no_encoder_inputs, "入力画像を選んで下さい"},
    {K::no_encoder_output, "出力ファイルを指定して下さい"},
    {K::rd_table_unreadable, "{p} はレート歪みの表として読めません ({0})"},
    {K::two_pass_needs_bitrate, "2 パスには目標ビットレート (--bitrate) が必要です"},
    {K::two_pass_unsupported,
     "{0} では 2 パスを使えません (libx264, libx265, libaom-av1 は使えます)"},
    {K::bitstream_without_video, "{p} に映像ストリームがありません"},
    {K::cannot_read_bitstream, "{p} のパケットを読めません"},
    {K::bitstream_count_mismatch, "{p} は {0} フレームですが、参照の連番は {1} フレームです"},
    {K::rd_curve_missing, "{p} に「{0}」という曲線はありません"},
    {K::unknown_metric, "「{0}」という指標はありません（指標は psnr と ssim です）"},
    {K::metrics_planes_missing, "{p} には PSNR と SSIM を測る {0} の復号プレーンがありません"},
    {K::value_not_a_number, "値「{0}」は数値ではありません"},
    {K::pixel_angle_not_positive, "画素の視角は正の数でなければなりません"},
    {K::media_matrix_text, "色変換行列「{0}」は bt601、bt709、bt2020 のいずれでもありません"},
    {K::media_range_text, "範囲「{0}」は limited、full のいずれでもありません"},
    {K::media_size_text, "大きさ「{0}」は 幅x高さ（各1～32768）ではありません"},
    {K::media_pixel_format_text, "画素形式「{0}」は扱える RAW の画素形式ではありません"},
    {K::media_fps_text, "フレームレート「{0}」は正の値ではありません"},
    {K::folder_without_frames, "フォルダ [{p}] に画像ファイル ({0}) がありません"},
    {K::pairing_side_without_times,
     "時刻による対応付けには、各側にフレーム時刻のある動画が一つずつ必要です（[{p}] "
     "には時刻がありません）"},
    {K::pairing_side_of_several_files,
     "時刻による対応付けには、各側にフレーム時刻のある動画が一つずつ必要です（[{p}] "
     "は複数のファイルの一つです）"},
    {K::viewing_value_not_positive,
     "観察条件 {0} の値 {1} は使えません（正の有限の数を入力して下さい）"},
    {K::viewing_form_incomplete, "観察条件 {0} には {1} も必要です（空の欄に値を入力して下さい）"},
    {K::viewing_two_forms,
     "観察条件 {0} と {1} は同時に指定できません（一つの方法だけで指定して下さい）"},
    {K::viewing_unknown_preset, "観察条件 {0}: プリセット「{1}」はありません（{2}）"},
    {K::viewing_below_one, "観察条件 {0}: 1度あたりの画素数が {1} です（1 以上が必要です）"},
    {K::viewing_above_filters,
     "観察条件 {0}: 1度あたりの画素数 {1} は、フィルタの応答が届く {2} を超えています"},
    {K::luminance_not_positive, "{0} の輝度 ({1}) は正の数 (cd/m2) でなければなりません"},
    {K::black_luminance_negative, "黒の輝度 ({0}) は 0 以上 (cd/m2) でなければなりません"},
    {K::black_not_below_white,
     "黒の輝度 ({0} cd/m2) は白の輝度 ({1} cd/m2) より小さくなければなりません"},
    {K::display_text, "表示モデル「{0}」は profile、srgb、bt1886、pq、hlg のいずれでもありません"},
    {K::unknown_transfer, "伝達特性「{0}」は使えません（bt709、pq、hlg のいずれかです）"},
    {K::unknown_stream_primaries, "原色「{0}」は使えません（bt709 か bt2020 です）"},
    {K::primaries_text, "原色「{0}」は profile、bt709、p3d65、bt2020 のいずれでもありません"},
};

const JapaneseText* find_text(FailureKind kind) {
    for (const JapaneseText& t : japanese_texts) {
        if (t.kind == kind) return &t;
    }
    return nullptr;
}

// The channel names of the display-model texts.
std::string japanese_channel(const std::string& english) {
    if (english == "red") return "赤";
    if (english == "green") return "緑";
    if (english == "blue") return "青";
    return english;
}

bool names_a_channel(FailureKind kind) {
    return kind == K::display_not_finite || kind == K::display_gain_zero ||
           kind == K::display_gamma_not_positive || kind == K::display_gamma_too_small ||
           kind == K::display_overflow;
}

}  // namespace

std::string gui_failure_template(FailureKind kind) {
    const JapaneseText* t = find_text(kind);
    return t == nullptr ? std::string() : t->text;
}

std::string field_not_number_text(const std::string& field, const std::string& text) {
    return "「" + field + "」の値「" + text + "」は数値ではありません\n数値を入力して下さい\n";
}

bool gui_failure_path_in_caption(FailureKind kind) {
    const JapaneseText* t = find_text(kind);
    return t != nullptr && t->path_in_caption;
}

std::string gui_failure_text(const Failure& failure) {
    const JapaneseText* t = find_text(failure.kind);
    if (t == nullptr) return "処理を続けられません\n" + failure_text(failure);
    Failure shown = failure;
    if (names_a_channel(failure.kind) && !shown.values.empty()) {
        shown.values[0] = japanese_channel(shown.values[0]);
    }
    // The filter texts name their kernel file, or the filter being edited (no file).
    const std::string subject = failure.path.empty() ? std::string("編集したフィルター")
                                                     : "カーネルファイル [" + failure.path + "] ";
    return fill_failure_template(t->text, shown, subject);
}

std::string gui_failure_line(const Failure& failure) {
    std::string text = gui_failure_text(failure);
    if (gui_failure_path_in_caption(failure.kind) && !failure.path.empty()) {
        text += ": " + failure.path;
    }
    return text;
}

}  // namespace orv
