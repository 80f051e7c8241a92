#include "shell/dialog_logic.h"

#include <exception>
#include <new>
#include <utility>

#include "measure/frame_loop.h"
#include "numeric/failure.h"
#include "resources/dialog_templates.h"
#include "shell/colour_diff_dialog.h"
#include "shell/failure_texts.h"
#include "shell/noise_dialog.h"
#include "shell/settings_dialogs.h"

namespace orv {

void show_dialog_message(Platform& platform, const std::string& text, const std::string& caption) {
    MessageRequest request;
    request.owner = Window::dialog;
    request.text = text;
    request.caption = caption;
    request.buttons = MessageButtons::ok;
    request.icon = MessageIcon::information;
    request.topmost = true;
    platform.message_box(request);
}

ProgressScope::ProgressScope(Platform& platform_, std::string label_, int total_)
    : platform(platform_), label(std::move(label_)), total(total_ < 0 ? 0 : total_) {
    step(0);
}

ProgressScope::~ProgressScope() {
    try {
        close();
    } catch (...) {
        // A window layer failing to take down its progress window must not end the program.
    }
}

void ProgressScope::step(int done) {
    if (!closed && platform.progress) platform.progress(label, done, total);
    if (!closed && done > 0 && done < total && platform.cancel_requested &&
        platform.cancel_requested()) {
        throw RunCancelled{};
    }
}

void ProgressScope::close() {
    if (closed) return;
    step(total);
    closed = true;
}

namespace {

// Runs one step of the logic; errors that reach it are shown and leave the dialog open.
template <class Step>
void guarded(Platform& platform, Step&& step) {
    try {
        step();
    } catch (const Failure& failure) {
        show_dialog_message(platform, gui_failure_line(failure), dialog_error_caption);
    } catch (const std::bad_alloc&) {
        show_dialog_message(platform, out_of_memory_text, dialog_error_caption);
    } catch (const RunCancelled&) {
        // Cancelled by the user: what was made before stays, the dialog stays open.
    }
}

DialogHandlers closing_handlers() {
    DialogHandlers h;
    h.open = [](DialogItems&) {};
    h.command = [](DialogItems& items, int id) {
        if (id == item::ok || id == item::cancel) items.end_dialog(id);
    };
    return h;
}

}  // namespace

DialogHandlers make_dialog_handlers(const std::string& name, FrameStore& store,
                                    Platform& platform) {
    DialogHandlers inner;
    if (name == "SETTING_DLG") {
        inner = environment_dialog_handlers(store, platform);
    } else if (name == "ATD_SETTING_DLG") {
        inner = atd_filter_dialog_handlers(store, platform);
    } else if (name == "COLOR_DIFF_DLG") {
        inner = colour_diff_dialog_handlers(store, platform);
    } else if (name == "RNDNOISE_DLG") {
        inner = noise_dialog_handlers(store, platform);
    } else {
        inner = closing_handlers();
    }
    DialogHandlers outer;
    outer.open = [inner, &platform](DialogItems& items) {
        guarded(platform, [&] { inner.open(items); });
    };
    outer.command = [inner, &platform](DialogItems& items, int id) {
        guarded(platform, [&] { inner.command(items, id); });
    };
    return outer;
}

}  // namespace orv
