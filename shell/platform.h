#pragma once
// The seam between the command and dialog logic and the window layer. The logic calls only
// these operations; the Qt layer (shell/qt/) fills them in, and tests fill them with scripted
// answers. Nothing here knows any toolkit.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// Who owns a message box or a file dialog, and what a repaint request names.
// `none`: a message box with no owner window (the BMP reader's and writer's messages).
enum class Window { main, left_pane, right_pane, lower_pane, dialog, none };

// skip_cancel: "上書きしない" (skip) and "キャンセル" (cancel).
enum class MessageButtons { ok, yes_no, skip_cancel };
enum class MessageIcon { information, question, none };
enum class MessageAnswer { ok, yes, no, skip, cancel };

struct MessageRequest {
    Window owner = Window::main;
    std::string text;
    std::string caption;
    MessageButtons buttons = MessageButtons::ok;
    MessageIcon icon = MessageIcon::information;
    bool topmost = true;
};

struct FileTypeFilter {
    std::string description;  // "BMP files(*.bmp)"
    std::string pattern;      // "*.bmp"
};

struct FileDialogRequest {
    Window owner = Window::main;
    std::string title;
    std::vector<FileTypeFilter> filters;
    std::string default_extension;  // "bmp"
    std::string start_text;         // what the previous answer left in the shared name buffer
    bool multiple = false;
};

// Free memory and free temporary disk of the machine, in bytes.
struct MachineRoom {
    std::uint64_t memory = 0;
    std::uint64_t disk = 0;
};

struct Platform {
    std::function<MessageAnswer(const MessageRequest&)> message_box;
    // Paths in the order the dialog gives them; nullopt when cancelled.
    std::function<std::optional<std::vector<std::string>>(const FileDialogRequest&)> open_files;
    std::function<std::optional<std::string>(const FileDialogRequest&)> save_file;
    // nullopt when cancelled.
    std::function<std::optional<std::string>(Window owner, const std::string& title,
                                             const std::string& start_folder)>
        choose_folder;
    std::function<void(Window window, bool erase)> invalidate;
    // Starts a detached process (never waited for); false when it cannot be started.
    std::function<bool(const std::string& program)> start_process;
    std::function<std::uint32_t()> tick_count;
    // Modal progress of a long run: called with done = 0 first and done = total last.
    std::function<void(const std::string& label, int done, int total)> progress;
    // Whether the user has cancelled the run the progress window shows (its キャンセル);
    // empty: runs cannot be cancelled.
    std::function<bool()> cancel_requested;
    // Runs the modal dialog made from the named template; returns its result (1 OK, 2 Cancel).
    std::function<int(const std::string& template_name)> run_dialog;
    // Shows the results window (per-frame plot and pooled figures), or raises it.
    std::function<void()> show_results;
    // A one-line text asked for in a small modal box (title, label, the text it starts
    // with); nullopt when cancelled.
    std::function<std::optional<std::string>(const std::string& title, const std::string& label,
                                             const std::string& start)>
        ask_text;
    // The machine's free room before a load or a run; empty: not checked.
    std::function<MachineRoom()> machine_room;
};

// What the dialog logic sees of an open dialog: its items by id.
struct DialogItems {
    std::function<void(int id, const std::string& text)> set_text;
    std::function<std::string(int id)> get_text;
    std::function<void(int result)> end_dialog;
};

}  // namespace orv
