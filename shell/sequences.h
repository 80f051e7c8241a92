#pragma once
// Loading chosen BMP files into the store as a sequence, and the numbered names of a save.
// The dialogs themselves live in the shell; these are the parts that need no window layer.

#include <functional>
#include <string>
#include <vector>

#include "image/bmp_file.h"
#include "image/file_names.h"
#include "numeric/failure.h"
#include "shell/frame_store.h"

namespace orv {

enum class SequenceTable { reference, degraded };

// A message box of the file dialogs: the text, and the file's path as the caption.
struct FileMessage {
    std::string text;
    std::string caption;
};

// The message of a refused file: the failure's Japanese text with its path as caption.
FileMessage file_message(const Failure& failure);

struct SequenceLoad {
    int count = 0;        // frames loaded, 0 on failure
    FileMessage message;  // the reader's message when a file failed
    bool failed = false;
    FileMessage notice;  // set when a video had more frames than the slots left
};

// Shown (with the video's path as caption) when a video fills the last slot before its end.
inline constexpr const char* video_cut_text =
    "動画のフレームが1000枚を超えるため、最初の1000枚だけを読み込みました";

// Loads `paths` (dialog order, at most max_frames frames) into slots 0.. of the table and the
// shared geometry tables; names go to reference_names[k] (with the frame of that file in
// reference_frame_index[k]) or degraded_name. BMP files go through the BMP reader; a video
// fills one slot per frame, an image one slot. Stops at the first file that cannot be read;
// no count or flag is changed here. Slots already filled keep valid frames.
SequenceLoad load_frame_sequence(FrameStore& store, const std::vector<std::string>& paths,
                                 SequenceTable table);

// Writes degraded frame i to numbered_name(base, i) for i = 0 .. degraded_count - 1 (the count
// read again before each frame). A frame the writer refuses (its file exists, the write
// failed) is handed to `on_message` and skipped; the loop goes on. Returns the number written.
// With `skip_existing`, a frame whose file exists is skipped without a message.
int save_degraded_frames(const FrameStore& store, const std::string& base,
                         const std::function<void(const FileMessage&)>& on_message,
                         bool skip_existing = false);

// How many of the files save_degraded_frames would write to `base` exist already.
int existing_save_files(const FrameStore& store, const std::string& base);

}  // namespace orv
