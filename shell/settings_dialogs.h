#pragma once
// The environment-settings dialog "SETTING_DLG" and the ATD filter settings dialog
// "ATD_SETTING_DLG": choosing the profile-data folder, showing the paths that follow from it,
// and loading, editing and accepting the three opponent-channel filters.

#include <string>

#include "scielab/conditions.h"
#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

inline constexpr const char* folder_chooser_title = "PROFILE DATA フォルダの指定";
inline constexpr const char* folder_refusal_text =
    "PROFILE DATA フォルダアドレスを指定して下さい!! \n";
inline constexpr const char* folder_refusal_caption = "FILE ADRESS is not selection!!";
// The caption of the refusal of a profile folder without kernel files.
inline constexpr const char* profile_folder_error_caption = "FILE OPEN ERROR";
// OK of the filter dialog before any kernel files were loaded.
inline constexpr const char* filters_not_loaded_text =
    "フィルタが読み込まれていません。\"読み込む\"でカーネルファイルを読み込んでください\n";

inline constexpr const char* display_model_file = profile_file::display_model;
inline constexpr const char* cone_table_file = profile_file::cone_table;

// The folder chooser, starting at the current folder. 1 when a folder was chosen (it becomes
// profile_folder), 0 when the user cancelled (nothing changes).
int choose_profile_folder(FrameStore& store, Platform& platform);

// The message box shown when OK or "読み込む" finds the folder empty; the dialog stays open.
void refuse_empty_folder(Platform& platform);

DialogHandlers environment_dialog_handlers(FrameStore& store, Platform& platform);
DialogHandlers atd_filter_dialog_handlers(FrameStore& store, Platform& platform);

}  // namespace orv
