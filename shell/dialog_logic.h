#pragma once
// The logic of the four modal dialogs, written against item ids and the platform seam. The
// window layer builds a dialog from its template, calls `open` once it is shown, and `command`
// for every button click (OK is 1; Cancel, Escape and the close box are 2). The logic ends the
// dialog through DialogItems::end_dialog; until it does, the dialog stays open.

#include <functional>
#include <string>

#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv {

struct DialogHandlers {
    std::function<void(DialogItems& items)> open;
    std::function<void(DialogItems& items, int id)> command;
};

// The handlers of the template `name` ("SETTING_DLG", "ATD_SETTING_DLG", "COLOR_DIFF_DLG",
// "RNDNOISE_DLG"), holding whatever state one run of the dialog needs. Every handler catches
// Failure and std::bad_alloc, shows them in a message box owned by the dialog and leaves the
// dialog open. An unknown name gives handlers that only close on OK and Cancel.
DialogHandlers make_dialog_handlers(const std::string& name, FrameStore& store, Platform& platform);

// Shows a message box owned by the dialog with an OK button and the information icon.
void show_dialog_message(Platform& platform, const std::string& text, const std::string& caption);

// A modal progress report of a run: (0, total) at construction, step() after each item, and
// (total, total) at the end or when the run stops early (also through an exception). A step
// before the end throws RunCancelled (measure/frame_loop.h) once the user has cancelled.
struct ProgressScope {
    ProgressScope(Platform& platform, std::string label, int total);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    void step(int done);
    void close();

    Platform& platform;
    std::string label;
    int total = 0;
    bool closed = false;
};

// Message and caption for errors caught at a dialog command.
inline constexpr const char* dialog_error_caption = "CAUTION !!";
inline constexpr const char* out_of_memory_text = "メモリが不足しているため処理できません\n";

}  // namespace orv
