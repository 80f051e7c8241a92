#pragma once
// Opening and saving frame sequences through the file dialogs of the platform seam.
// The file loading and the numbered names are the frames library's; this adds the dialogs,
// the reader's and writer's messages, the counts and flags, and the repaint.

#include <string>
#include <vector>

#include "shell/frame_store.h"
#include "shell/platform.h"
#include "shell/sequences.h"

namespace orv {

inline constexpr const char* open_dialog_title = "ファイルを開く！";
inline constexpr const char* save_dialog_title = "保存ファイル";
inline constexpr const char* sequence_default_extension = "bmp";
// The one question of a save onto names that exist: N, then the question; buttons
// "上書きしない" (skip those frames) and "キャンセル".
inline constexpr const char* existing_files_text =
    "個のファイルが既に存在します\n既存のファイルは上書きせず、残りのフレームを保存しますか";

// The file types of both dialogs, the first being the default.
const std::vector<FileTypeFilter>& sequence_file_types();
// The open dialog's file types: the three above, then video files and image files.
const std::vector<FileTypeFilter>& open_file_types();

// The shared file-name text: each dialog starts with what the previous answer left in it
// (a single chosen path, or the folder of a multiple selection).
std::string& file_name_buffer();

// The text an open dialog's answer leaves in the shared buffer.
std::string file_name_text_of(const std::vector<std::string>& paths);

// Shows the open dialog and loads the chosen files (dialog order, at most max_frames) into
// slots 0.. of `table`. Returns the number loaded, or 0 when cancelled or a file failed (the
// reader's message has then been shown). Changes no count or flag.
int open_frame_sequence(FrameStore& store, Platform& platform, Window owner, SequenceTable table);
// The load of open_frame_sequence for files already chosen (dropped on a pane): refuses with
// the needed and free room when the machine cannot hold them, then loads.
int load_sequence_files(FrameStore& store, Platform& platform, Window owner,
                        const std::vector<std::string>& paths, SequenceTable table);

// open_frame_sequence into the reference table; on success sets image_loaded, current_frame = 0
// and reference_count, repaints the main window with erasing, and returns the count.
int open_reference_sequence(FrameStore& store, Platform& platform, Window owner);

// open_frame_sequence into the degraded table; on success repaints the main window with
// erasing. The caller stores the returned count in degraded_count.
int open_degraded_sequence(FrameStore& store, Platform& platform, Window owner);

// Shows the save dialog and writes every degraded frame as base_NNNN.bmp. When some of those
// files exist, one box says how many and offers to skip them all or to cancel; other frames
// the writer refuses are reported and skipped. Cancel writes nothing and repaints nothing.
void save_degraded_sequence(FrameStore& store, Platform& platform, Window owner);

// Files dropped on the upper-left pane: loaded as the reference sequence, as Open loads it.
int drop_reference_files(FrameStore& store, Platform& platform,
                         const std::vector<std::string>& paths);
// Files dropped on the upper-right pane: loaded as the degraded sequence, as 色差画像's
// 劣化画像 loads it (degraded_count, degraded_name), and shown in the pane at once.
int drop_degraded_files(FrameStore& store, Platform& platform,
                        const std::vector<std::string>& paths);

}  // namespace orv
