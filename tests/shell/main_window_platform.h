#pragma once
// A scripted platform for the main-window tests: queued answers for message boxes and file
// dialogs, and a record of every request made through the seam.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/platform.h"

namespace orv::test {

struct ScriptedMainPlatform {
    std::deque<MessageAnswer> answers;  // for Yes/No boxes; empty answers No
    std::deque<std::optional<std::vector<std::string>>> open_answers;  // empty: cancel
    std::deque<std::optional<std::string>> save_answers;               // empty: cancel
    bool process_starts = false;

    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> open_requests;
    std::vector<FileDialogRequest> save_requests;
    std::vector<std::pair<Window, bool>> invalidations;
    std::vector<std::string> processes;
    std::vector<std::string> dialogs;
    std::vector<std::pair<int, int>> progress;  // (done, total)

    Platform platform;

    ScriptedMainPlatform() {
        platform.message_box = [this](const MessageRequest& request) {
            messages.push_back(request);
            if (request.buttons == MessageButtons::ok) return MessageAnswer::ok;
            if (answers.empty()) return MessageAnswer::no;
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        };
        platform.open_files = [this](const FileDialogRequest& request) {
            open_requests.push_back(request);
            std::optional<std::vector<std::string>> answer;
            if (!open_answers.empty()) {
                answer = open_answers.front();
                open_answers.pop_front();
            }
            return answer;
        };
        platform.save_file = [this](const FileDialogRequest& request) {
            save_requests.push_back(request);
            std::optional<std::string> answer;
            if (!save_answers.empty()) {
                answer = save_answers.front();
                save_answers.pop_front();
            }
            return answer;
        };
        platform.choose_folder = [](Window, const std::string&, const std::string&) {
            return std::optional<std::string>{};
        };
        platform.invalidate = [this](Window window, bool erase) {
            invalidations.emplace_back(window, erase);
        };
        platform.start_process = [this](const std::string& program) {
            processes.push_back(program);
            return process_starts;
        };
        platform.tick_count = [] { return 1234u; };
        platform.progress = [this](const std::string&, int done, int total) {
            progress.emplace_back(done, total);
        };
        platform.run_dialog = [this](const std::string& name) {
            dialogs.push_back(name);
            return 2;
        };
    }
    ScriptedMainPlatform(const ScriptedMainPlatform&) = delete;
    ScriptedMainPlatform& operator=(const ScriptedMainPlatform&) = delete;

    bool invalidated(Window window, bool erase) const {
        for (const auto& [w, e] : invalidations) {
            if (w == window && e == erase) return true;
        }
        return false;
    }
};

}  // namespace orv::test
