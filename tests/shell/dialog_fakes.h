#pragma once
// A scripted platform and a dialog made of plain item texts, for driving the dialog logic
// without a window layer; and a small profile-data folder written on the fly.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/platform.h"

namespace orv::test {

struct FolderRequest {
    Window owner;
    std::string title;
    std::string start;
};

// Answers come from the queues (an empty queue answers "cancel"); every request is recorded.
// The lambdas point at this record, so it is neither copied nor moved.
struct ScriptedPlatform {
    Platform platform;
    std::vector<MessageRequest> messages;
    std::deque<std::optional<std::string>> folder_answers;
    std::vector<FolderRequest> folder_requests;
    std::deque<std::optional<std::vector<std::string>>> open_answers;
    std::vector<FileDialogRequest> open_requests;
    std::deque<std::optional<std::string>> save_answers;
    std::vector<std::pair<Window, bool>> invalidations;
    std::vector<std::tuple<std::string, int, int>> progress;
    std::uint32_t tick = 5000;
    std::uint32_t tick_step = 0;  // added after every tick_count() call
    int tick_calls = 0;

    ScriptedPlatform() {
        platform.message_box = [this](const MessageRequest& r) {
            messages.push_back(r);
            return r.buttons == MessageButtons::yes_no ? MessageAnswer::yes : MessageAnswer::ok;
        };
        platform.choose_folder = [this](Window owner, const std::string& title,
                                        const std::string& start) {
            folder_requests.push_back({owner, title, start});
            if (folder_answers.empty()) return std::optional<std::string>();
            auto answer = folder_answers.front();
            folder_answers.pop_front();
            return answer;
        };
        platform.open_files = [this](const FileDialogRequest& r) {
            open_requests.push_back(r);
            if (open_answers.empty()) return std::optional<std::vector<std::string>>();
            auto answer = open_answers.front();
            open_answers.pop_front();
            return answer;
        };
        platform.save_file = [this](const FileDialogRequest&) {
            if (save_answers.empty()) return std::optional<std::string>();
            auto answer = save_answers.front();
            save_answers.pop_front();
            return answer;
        };
        platform.invalidate = [this](Window w, bool erase) {
            invalidations.emplace_back(w, erase);
        };
        platform.start_process = [](const std::string&) { return false; };
        platform.tick_count = [this] {
            ++tick_calls;
            const std::uint32_t now = tick;
            tick += tick_step;
            return now;
        };
        platform.progress = [this](const std::string& label, int done, int total) {
            progress.emplace_back(label, done, total);
        };
        platform.run_dialog = [](const std::string&) { return 2; };
    }
    ScriptedPlatform(const ScriptedPlatform&) = delete;
    ScriptedPlatform& operator=(const ScriptedPlatform&) = delete;

    bool repainted_main() const {
        for (const auto& [w, erase] : invalidations) {
            if (w == Window::main && erase) return true;
        }
        return false;
    }
};

// An open dialog: the items are texts by id, the result is set when the logic ends it.
struct FakeDialog {
    std::map<int, std::string> texts;
    std::optional<int> result;
    DialogItems items;
    DialogHandlers handlers;

    FakeDialog(const std::string& name, FrameStore& store, Platform& platform)
        : handlers(make_dialog_handlers(name, store, platform)) {
        items.set_text = [this](int id, const std::string& text) { texts[id] = text; };
        items.get_text = [this](int id) {
            auto found = texts.find(id);
            return found == texts.end() ? std::string() : found->second;
        };
        items.end_dialog = [this](int r) { result = r; };
        handlers.open(items);
    }
    FakeDialog(const FakeDialog&) = delete;
    FakeDialog& operator=(const FakeDialog&) = delete;

    void press(int id) { handlers.command(items, id); }
    bool open() const { return !result.has_value(); }
    std::string text(int id) const {
        auto found = texts.find(id);
        return found == texts.end() ? std::string() : found->second;
    }
};

inline void write_text(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Kernel file text: title, ignored word, count, label, spreads, label, weights.
inline std::string kernel_text(const std::string& title, const std::vector<double>& spreads,
                               const std::vector<double>& weights) {
    std::string text = title + " Num " + std::to_string(spreads.size()) + "\nspread";
    char buffer[64];
    for (double s : spreads) {
        std::snprintf(buffer, sizeof buffer, " %.9g", s);
        text += buffer;
    }
    text += "\nweight";
    for (double w : weights) {
        std::snprintf(buffer, sizeof buffer, " %.9g", w);
        text += buffer;
    }
    return text + "\n";
}

// The three kernel files, with small spreads so that the filters stay short.
inline void write_kernel_files(const std::filesystem::path& folder) {
    write_text(folder / "kernel_L.txt",
               kernel_text("Luminance", {0.05, 0.333333, 0.12}, {0.9, 0.2, -0.1}));
    write_text(folder / "kernel_RG.txt", kernel_text("RedGreen", {0.0685, 0.15}, {0.6, 0.4}));
    write_text(folder / "kernel_BY.txt", kernel_text("BlueYellow", {0.092, 0.2}, {0.55, 0.45}));
}

// Display model and matrices of an sRGB-like display, and the kernel files.
inline void write_test_profile(const std::filesystem::path& folder) {
    write_text(folder / "DISPGOG_parameter.txt",
               "Rgain Roffset Rgamma Ggain Goffset Ggamma Bgain Boffset Bgamma\n"
               "1.0 0.0 2.2\n1.0 0.0 2.2\n1.0 0.0 2.2\n");
    write_text(folder / "RGBtoXYZ_mat.txt",
               "41.24 35.76 18.05\n21.26 71.52 7.22\n1.93 11.92 95.05\n");
    write_text(folder / "XYZtoLMS_mat.txt",
               "0.2430 0.8560 -0.0440\n-0.3910 1.1650 0.0870\n0.0100 -0.0080 0.5630\n");
    write_text(folder / "LMStoATD_mat.txt",
               "0.9900 -0.1060 -0.0940\n-0.6690 0.7420 -0.0270\n-0.2120 -0.3540 0.9110\n");
    write_kernel_files(folder);
}

}  // namespace orv::test
