#pragma once
// The main window's logic: the pane layout rule, frame stepping on a click in the uncovered
// quarter, the close confirmation, and the menu commands with their guards.

#include <optional>
#include <string>
#include <vector>

#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/panes.h"
#include "shell/platform.h"

namespace orv {

inline constexpr const char* main_window_caption = "ORV 2.0";
inline constexpr const char* caution_caption = "CAUTION !!";
inline constexpr const char* encoder_caution_caption = "CAUTION !! ";  // with a trailing blank
inline constexpr const char* open_image_text = "カラー画像を開いてください\n";
inline constexpr const char* set_atd_filter_text = "ATDフィルターの設定をして下さい\n";
inline constexpr const char* set_profile_text = "プロファイル設定をして下さい\n";
inline constexpr const char* bad_address_text = "アドレスが正しくありません!!";
inline constexpr const char* scielab_question_text = "S_CIELAB処理を実行しますか";
inline constexpr const char* scielab_question_caption = "S_CIELAB処理確認";
inline constexpr const char* scielab_progress_label = "S_CIELAB処理";
inline constexpr const char* close_question_text = "終了してもよいですか";
inline constexpr const char* close_question_caption = "終了確認";
inline constexpr const char* about_text = "ORV 2.0\n";
inline constexpr const char* about_caption = "...について";
inline constexpr const char* no_memory_text = out_of_memory_text;  // the dialogs' text

struct PaneRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Sizes of the three panes; `border` is the width of a pane's frame, so that the frames of
// the outer sides lie just outside the client area.
struct PaneLayout {
    int border = 0;
    int left_width = 0;
    int top_height = 0;
    int right_width = 0;
    int right_height = 0;
    int lower_width = 0;
    int lower_height = 0;
};

// `window` moved, and shrunk where it is larger, so that it lies inside `screen` (the
// screen's free area): a window opened beside another must not hang off the screen.
PaneRect keep_inside(PaneRect window, const PaneRect& screen);

PaneLayout compute_pane_layout(int border, int client_width, int client_height);
PaneRect left_pane_rect(const PaneLayout& layout);
PaneRect right_pane_rect(const PaneLayout& layout);
PaneRect lower_pane_rect(const PaneLayout& layout);

// True for a client point in the lower-right quarter that no pane covers.
bool in_uncovered_quarter(const PaneLayout& layout, int client_width, int client_height, int x,
                          int y);

// A left click on the main window's client area: in the uncovered quarter, with a reference
// sequence open, steps to the next frame and repaints the three panes. True when it stepped.
bool main_window_click(FrameStore& store, Platform& platform, const PaneLayout& layout,
                       int client_width, int client_height, int x, int y);

// The close request: asks "終了してもよいですか"; true when the answer is Yes.
bool confirm_close(Platform& platform);

inline constexpr const char* go_to_frame_title = "フレーム番号へ移動";
inline constexpr const char* go_to_frame_label = "フレーム番号 (1 – ";
inline constexpr const char* frame_number_text = "フレーム番号は 1 から ";
inline constexpr const char* frame_number_end_text = " までの整数で入力して下さい\n";

// The keyboard shortcut of a menu command in portable form ("Ctrl+O"), or "" for none:
// 開く Ctrl+O, 保存 Ctrl+S, エクスポート Ctrl+E, フレーム番号へ移動 Ctrl+G.
std::string command_shortcut(int command_id);

// A frame number typed by the user (1 .. count, blanks around it allowed) as a frame index
// (0 .. count - 1); nullopt for anything else.
std::optional<int> frame_from_text(const std::string& text, int count);

inline constexpr const char* threshold_title = "しきい値を超える画素を表示";
inline constexpr const char* threshold_label =
    "劣化画像で色差がこの値を超える画素に色を付けます（空欄で解除）\n⊿E:";
inline constexpr const char* threshold_field_name = "⊿E";

enum class CommandResult { done, close_window };

// Carries out menu command `id` (unknown ids are ignored). Errors raised by the work
// (Failure, std::bad_alloc) are shown in a message box and stop the command; what was already
// loaded stays. close_window: Exit was confirmed and the window is to be destroyed.
CommandResult run_main_command(FrameStore& store, Platform& platform, int id);

// Files dropped on a pane: on the left pane they open as the reference sequence, on the
// right pane as the degraded sequence; the lower pane takes none. Errors as run_main_command.
void run_drop(FrameStore& store, Platform& platform, Pane pane,
              const std::vector<std::string>& paths);

// The S_CIELAB command (40020) on its own: guards, confirmation, the filtered image of every
// reference frame, scielab_done. Errors propagate to the caller.
void run_scielab_command(FrameStore& store, Platform& platform);

}  // namespace orv
