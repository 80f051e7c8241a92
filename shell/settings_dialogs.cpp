#include "shell/settings_dialogs.h"

#include <cstddef>
#include <iostream>
#include <memory>
#include <optional>

#include "colour/profile_files.h"
#include "measure/inputs.h"
#include "resources/dialog_templates.h"
#include "scielab/filter_kernels.h"
#include "scielab/filter_settings.h"
#include "shell/failure_texts.h"
#include "shell/field_numbers.h"

namespace orv {

namespace s = settings_item;

int choose_profile_folder(FrameStore& store, Platform& platform) {
    std::optional<std::string> chosen =
        platform.choose_folder(Window::dialog, folder_chooser_title, store.profile_folder);
    if (!chosen) return 0;
    store.profile_folder = *chosen;
    ++store.input_changes;
    // Coordinates made with the old profile can serve no run now.
    clear_reference_store(*store.reference_store);
    return 1;
}

void refuse_empty_folder(Platform& platform) {
    show_dialog_message(platform, folder_refusal_text, folder_refusal_caption);
}

namespace {

void show_environment(DialogItems& items, const FrameStore& store, Platform& platform) {
    items.set_text(s::folder_edit, store.profile_folder);
    items.set_text(s::display_path, profile_path(store.profile_folder, display_model_file));
    items.set_text(s::cone_path, profile_path(store.profile_folder, cone_table_file));
    platform.invalidate(Window::main, true);
}

}  // namespace

DialogHandlers environment_dialog_handlers(FrameStore& store, Platform& platform) {
    DialogHandlers h;
    h.open = [&store, &platform](DialogItems& items) { show_environment(items, store, platform); };
    h.command = [&store, &platform](DialogItems& items, int id) {
        switch (id) {
            case s::choose_folder:
                choose_profile_folder(store, platform);
                show_environment(items, store, platform);
                break;
            case item::ok:
                if (store.profile_folder.empty()) {
                    refuse_empty_folder(platform);
                    return;
                }
                // As orv-cli: the display model and the matrices must load and the colour
                // matrix invert, or the failure is shown and the dialog stays open.
                check_profile_files(store.profile_folder);
                items.end_dialog(item::ok);
                platform.invalidate(Window::main, true);
                break;
            case item::cancel:
                items.end_dialog(item::cancel);
                break;
            default:
                break;
        }
    };
    return h;
}

namespace {

// What one run of the filter dialog works on. The kernel files load into `working`; the
// application's filter set is replaced only by a successful OK, so the pipeline never sees
// records that were loaded but not finished, and Cancel keeps the set of an earlier OK.
struct FilterDialogState {
    AtdFilters working;
    bool loaded = false;
};

// The name of filter field k (the order of filter_field_ids), as the dialog's labels say it.
std::string filter_field_name(std::size_t k) {
    struct Row {
        const char* filter;
        const char* row;
        int component;
    };
    static constexpr Row rows[] = {
        {"Aフィルター", "標準偏差", 1}, {"Aフィルター", "標準偏差", 2},
        {"Aフィルター", "標準偏差", 3}, {"Aフィルター", "重み", 1},
        {"Aフィルター", "重み", 2},     {"Aフィルター", "重み", 3},
        {"Tフィルター", "標準偏差", 1}, {"Tフィルター", "標準偏差", 2},
        {"Tフィルター", "重み", 1},     {"Tフィルター", "重み", 2},
        {"Dフィルター", "標準偏差", 1}, {"Dフィルター", "標準偏差", 2},
        {"Dフィルター", "重み", 1},     {"Dフィルター", "重み", 2},
    };
    const Row& r = rows[k < std::size(rows) ? k : 0];
    return std::string(r.filter) + " " + r.row + " " + std::to_string(r.component);
}

// A field's text as a 259-character buffer would hold it.
std::string field_edit_text(DialogItems& items, int id) {
    std::string text = items.get_text(id);
    if (text.size() > static_cast<std::size_t>(path_length - 2)) text.resize(path_length - 2);
    return text;
}

void load_filter_fields(FilterDialogState& state, DialogItems& items, const FrameStore& store,
                        Platform& platform) {
    FilterLoadOutcome outcome =
        load_filter_settings(state.working, kernel_sample_angle, store.profile_folder, std::cout);
    if (!outcome.loaded) {
        show_dialog_message(platform, gui_failure_text(outcome.folder_failure),
                            profile_folder_error_caption);
        return;
    }
    state.loaded = true;
    for (std::size_t k = 0; k < filter_field_ids.size(); ++k) {
        items.set_text(filter_field_ids[k], outcome.fields.texts[k]);
    }
}

void accept_filters(FilterDialogState& state, DialogItems& items, FrameStore& store,
                    Platform& platform) {
    if (store.profile_folder.empty()) {
        refuse_empty_folder(platform);
        return;
    }
    if (!state.loaded) {
        show_dialog_message(platform, filters_not_loaded_text, dialog_error_caption);
        return;
    }
    FilterFieldTexts fields;
    for (std::size_t k = 0; k < filter_field_ids.size(); ++k) {
        const std::string typed = field_edit_text(items, filter_field_ids[k]);
        // A decimal comma reads as the point; a text that is not a number stops OK here.
        const std::optional<std::string> number = field_number_text(typed);
        if (!number) {
            show_dialog_message(platform, field_not_number_text(filter_field_name(k), typed),
                                dialog_error_caption);
            return;
        }
        fields.texts[k] = *number;
    }
    // A refused edit leaves the working copy (and the application's set) as they were.
    apply_filter_settings(fields, state.working, kernel_sample_angle, std::cout);
    store.atd_filters = state.working;
    store.atd_filter_set = 1;
    ++store.input_changes;
    clear_reference_store(*store.reference_store);
    items.end_dialog(item::ok);
    platform.invalidate(Window::main, true);
}

}  // namespace

DialogHandlers atd_filter_dialog_handlers(FrameStore& store, Platform& platform) {
    auto state = std::make_shared<FilterDialogState>();
    DialogHandlers h;
    h.open = [state, &store, &platform](DialogItems& items) {
        items.set_text(s::folder_edit, store.profile_folder);
        load_filter_fields(*state, items, store, platform);
    };
    h.command = [state, &store, &platform](DialogItems& items, int id) {
        switch (id) {
            case s::choose_folder:
                // A new folder is only shown; its kernel files are read by "読み込む".
                choose_profile_folder(store, platform);
                items.set_text(s::folder_edit, store.profile_folder);
                platform.invalidate(Window::main, true);
                break;
            case s::load_kernels:
                if (store.profile_folder.empty()) {
                    refuse_empty_folder(platform);
                    return;
                }
                load_filter_fields(*state, items, store, platform);
                break;
            case item::ok:
                accept_filters(*state, items, store, platform);
                break;
            case item::cancel:
                items.end_dialog(item::cancel);
                break;
            default:
                break;
        }
    };
    return h;
}

}  // namespace orv
