#pragma once
// Reading and writing BMP files (24-bit, or 8-bit with a colour table, uncompressed).
// The library shows nothing: the caller presents `message` (a message box in the GUI, a line
// on standard error in the batch tool).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"

namespace orv {

// 44 bytes: the file's 40-byte information header with bit count 24, then 4 zero bytes.
// Empty means "null".
using HeaderBlock = std::vector<std::uint8_t>;

constexpr int header_block_size = 44;

int header_width(const HeaderBlock& header);
int header_height(const HeaderBlock& header);

// Texts of the messages the reader and the writer return (UTF-8).
inline constexpr const char* bmp_text_cannot_open = "ファイルが開けません";
inline constexpr const char* bmp_text_not_24_or_8 = "24 or 8 ビットBMPファイルしか読み込めません";
inline constexpr const char* bmp_text_truncated_header =
    "BMPファイルのヘッダーが途中で切れています";
inline constexpr const char* bmp_text_header_format =
    "このBMPファイルのヘッダー形式には対応していません（情報ヘッダーが40バイト未満です）";
inline constexpr const char* bmp_text_compressed = "圧縮されたBMPファイルは読み込めません";
inline constexpr const char* bmp_text_bad_size = "BMPファイルの幅または高さが正しくありません";
inline constexpr const char* bmp_text_top_down =
    "上から下へ行を並べたBMPファイル（高さが負）は読み込めません";
inline constexpr const char* bmp_text_too_large = "BMPファイルの画像が大きすぎます";
inline constexpr const char* bmp_text_out_of_memory = "BMPファイルを読み込むメモリが足りません";
inline constexpr const char* bmp_text_truncated_pixels =
    "BMPファイルの画素データがファイルに収まっていません";
inline constexpr const char* bmp_text_bad_colour_table =
    "BMPファイルのカラーテーブルが正しくありません";
inline constexpr const char* bmp_text_bad_colour_index =
    "BMPファイルにカラーテーブルにない色番号があります";
inline constexpr const char* bmp_text_file_exists = "同名のファイルが既に存在しています";
// The next two are followed by ": " and the path.
inline constexpr const char* bmp_text_cannot_create = "ファイルを作成できません";
inline constexpr const char* bmp_text_write_failed = "ファイルの書き込みに失敗しました";
inline constexpr const char* bmp_text_bad_frame =
    "書き込むフレームの画素またはヘッダーが正しくありません";

// Largest frame buffer (stride * height) the reader builds and the writer accepts; it keeps
// every size of a written file within its 32-bit fields.
inline constexpr long long max_frame_bytes = 0x7FFFFFFFLL - 54;

struct FileMessage {
    std::string text;
    std::string caption;  // the path
};

// Returns the frame stride (> 0), -1 when the file cannot be opened, -2 when it is not a
// usable 24- or 8-bit BMP. On failure `pixels` and `header` are untouched.
int read_bmp_frame(const std::string& path, PixelBuffer& pixels, HeaderBlock& header,
                   FileMessage* message = nullptr);

// The same from bytes already in memory (`path` only names the file in the message).
int read_bmp_bytes(const std::uint8_t* data, std::size_t size, const std::string& path,
                   PixelBuffer& pixels, HeaderBlock& header, FileMessage* message = nullptr);

// Returns 0 when written, -2 when the file cannot be created (it exists, or the write failed;
// no partial file is left behind). An existing file is never touched.
int write_bmp_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header,
                    FileMessage* message = nullptr);

}  // namespace orv
