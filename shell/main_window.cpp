#include "shell/main_window.h"

#include <algorithm>
#include <new>
#include <utility>

#include "measure/degradations.h"
#include "measure/frame_loop.h"
#include "numeric/failure.h"
#include "numeric/number_text.h"
#include "resources/menu.h"
#include "scielab/conditions.h"
#include "scielab/pipeline.h"
#include "shell/dialog_logic.h"
#include "shell/export.h"
#include "shell/failure_texts.h"
#include "shell/field_numbers.h"
#include "shell/navigation.h"
#include "shell/sequence_dialogs.h"
#include "shell/slot_memory.h"
#include "shell/view_zoom.h"
#include "shell/viewing_settings.h"

namespace orv {

namespace {

// b minus the truncation toward zero of -0.5 times the client size.
int half_plus_border(int border, int size) {
    return border - static_cast<int>(-0.5 * static_cast<double>(size));
}

void refuse(Platform& platform, const char* text, const char* caption) {
    MessageRequest request;
    request.owner = Window::main;
    request.text = text;
    request.caption = caption;
    request.buttons = MessageButtons::ok;
    request.icon = MessageIcon::information;
    platform.message_box(request);
}

bool ask(Platform& platform, const char* text, const char* caption) {
    MessageRequest request;
    request.owner = Window::main;
    request.text = text;
    request.caption = caption;
    request.buttons = MessageButtons::yes_no;
    request.icon = MessageIcon::question;
    return platform.message_box(request) == MessageAnswer::yes;
}

void repaint_main(Platform& platform) { platform.invalidate(Window::main, true); }

// The blank image the left pane shows for frame 0 after Open while scielab_done stays set:
// a zero-filled buffer of frame 0's geometry.
void make_blank_scielab_frame(FrameStore& store) {
    const PixelBuffer& frame = store.reference_pixels[0];
    store.scielab_pixels[0] = make_pixel_buffer(frame.width, frame.height);
    keep_in_store(store.scielab_pixels[0]);
}

}  // namespace

PaneRect keep_inside(PaneRect window, const PaneRect& screen) {
    window.width = std::min(window.width, screen.width);
    window.height = std::min(window.height, screen.height);
    window.x = std::clamp(window.x, screen.x, screen.x + screen.width - window.width);
    window.y = std::clamp(window.y, screen.y, screen.y + screen.height - window.height);
    return window;
}

PaneLayout compute_pane_layout(int border, int client_width, int client_height) {
    PaneLayout layout;
    layout.border = border;
    layout.left_width = half_plus_border(border, client_width);
    layout.top_height = half_plus_border(border, client_height);
    layout.right_width = 2 * border + client_width - layout.left_width;
    layout.right_height = layout.top_height;
    layout.lower_width = layout.left_width;
    layout.lower_height = 2 * border + client_height - layout.top_height;
    return layout;
}

PaneRect left_pane_rect(const PaneLayout& layout) {
    return {-layout.border, -layout.border, layout.left_width, layout.top_height};
}

PaneRect right_pane_rect(const PaneLayout& layout) {
    return {layout.left_width - layout.border, -layout.border, layout.right_width,
            layout.right_height};
}

PaneRect lower_pane_rect(const PaneLayout& layout) {
    return {-layout.border, layout.top_height - layout.border, layout.lower_width,
            layout.lower_height};
}

bool in_uncovered_quarter(const PaneLayout& layout, int client_width, int client_height, int x,
                          int y) {
    return x >= layout.left_width - layout.border && x < client_width &&
           y >= layout.top_height - layout.border && y < client_height;
}

bool main_window_click(FrameStore& store, Platform& platform, const PaneLayout& layout,
                       int client_width, int client_height, int x, int y) {
    if (!in_uncovered_quarter(layout, client_width, client_height, x, y)) return false;
    if (store.image_loaded != 1) return false;
    return step_frame(store, platform, FrameStep::next);
}

bool confirm_close(Platform& platform) {
    return ask(platform, close_question_text, close_question_caption);
}

void run_scielab_command(FrameStore& store, Platform& platform) {
    if (store.image_loaded != 1) {
        refuse(platform, open_image_text, caution_caption);
        repaint_main(platform);
        return;
    }
    if (!ask(platform, scielab_question_text, scielab_question_caption)) {
        repaint_main(platform);
        return;
    }
    if (store.atd_filter_set != 1) {
        refuse(platform, set_profile_text, caution_caption);
        repaint_main(platform);
        return;
    }

    if (!check_room(platform, Window::main, scielab_need(store))) return;
    const int count = std::min(store.reference_count, max_frames);
    // Closes the progress window however the run ends.
    ProgressScope progress(platform, scielab_progress_label, count);
    // The profile is read once for the whole run.
    const MeasurementConditions conditions =
        make_conditions(store.profile_folder, store.atd_filters, DeltaEFormula::cie94,
                        store_viewing_geometry(store));

    const FrameStore& input = store;
    // Frames are filtered side by side and handed back in frame order; each output is a
    // zero-filled buffer of its reference frame's own geometry.
    run_ordered_frames<PixelBuffer>(
        count, machine_threads(),
        [&input, &conditions](int i) {
            const PixelBuffer& source = input.reference_pixels[static_cast<std::size_t>(i)];
            PixelBuffer output = make_pixel_buffer(source.width, source.height);
            scielab_filter_frame(source, output, conditions);
            return output;
        },
        [&store](int i, PixelBuffer&& output) {
            // Replacing the slot's image releases the one an earlier run made.
            store.scielab_pixels[static_cast<std::size_t>(i)] = std::move(output);
            keep_in_store(store.scielab_pixels[static_cast<std::size_t>(i)]);
            drop_slot_pages(store, i);
        },
        [&progress, count](int done, int) {
            if (done < count) progress.step(done);
        });
    progress.close();
    store.scielab_done = 1;
    repaint_main(platform);
}

void run_drop(FrameStore& store, Platform& platform, Pane pane,
              const std::vector<std::string>& paths) {
    try {
        if (pane == Pane::left) drop_reference_files(store, platform, paths);
        if (pane == Pane::right) drop_degraded_files(store, platform, paths);
    } catch (const Failure& failure) {
        refuse(platform, gui_failure_line(failure).c_str(), caution_caption);
        repaint_main(platform);
    } catch (const std::bad_alloc&) {
        refuse(platform, no_memory_text, caution_caption);
        repaint_main(platform);
    }
    read_ahead_current(store);
}

std::string command_shortcut(int command_id) {
    switch (command_id) {
        case command::open:
            return "Ctrl+O";
        case command::save:
            return "Ctrl+S";
        case command::export_results:
            return "Ctrl+E";
        case command::go_to_frame:
            return "Ctrl+G";
        case command::zoom_1:
            return "Ctrl+1";
        case command::zoom_2:
            return "Ctrl+2";
        case command::zoom_4:
            return "Ctrl+4";
        case command::zoom_8:
            return "Ctrl+8";
        case command::flicker:
            return "F";
        case command::threshold_overlay:
            return "Ctrl+T";
        default:
            return "";
    }
}

std::optional<int> frame_from_text(const std::string& text, int count) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    long long number = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9' || number > max_frames) return std::nullopt;
        number = number * 10 + (text[i] - '0');
    }
    if (number < 1 || number > count) return std::nullopt;
    return static_cast<int>(number - 1);
}

namespace {

// Asks for a frame number and shows that frame.
void ask_frame_number(FrameStore& store, Platform& platform) {
    if (store.image_loaded != 1) {
        refuse(platform, open_image_text, caution_caption);
        return;
    }
    if (!platform.ask_text) return;
    const int count = frame_count(store);
    const std::string range = std::to_string(count);
    const std::optional<std::string> typed = platform.ask_text(
        go_to_frame_title,
        go_to_frame_label + range + "):", std::to_string(store.current_frame + 1));
    if (!typed) return;
    const std::optional<int> frame = frame_from_text(*typed, count);
    if (!frame) {
        const std::string text = frame_number_text + range + frame_number_end_text;
        refuse(platform, text.c_str(), caution_caption);
        return;
    }
    go_to_frame(store, platform, *frame);
}

// Asks for the ΔE above which the degraded picture's pixels are tinted; empty turns the
// overlay off.
void ask_threshold(FrameStore& store, Platform& platform) {
    if (!platform.ask_text) return;
    const std::string start =
        store.overlay_threshold >= 0.0 ? fixed_text(store.overlay_threshold, 2) : "2.00";
    const std::optional<std::string> typed =
        platform.ask_text(threshold_title, threshold_label, start);
    if (!typed) return;
    const std::optional<std::string> number = field_number_text(*typed);
    if (!number || (!number->empty() && leading_number(*number, "eE") < 0.0)) {
        const std::string text = field_not_number_text(threshold_field_name, *typed);
        refuse(platform, text.c_str(), caution_caption);
        return;
    }
    store.overlay_threshold = number->empty() ? -1.0 : leading_number(*number, "eE");
    repaint_main(platform);
}

void set_zoom(FrameStore& store, Platform& platform, double level) {
    // The pixel at the panes' top left stays; choosing the zoom in use again turns it off.
    zoom_at(store, store.zoom == level ? 0.0 : level, 0, 0);
    repaint_main(platform);
}

}  // namespace

CommandResult run_main_command(FrameStore& store, Platform& platform, int id) {
    try {
        switch (id) {
            case command::open:
                if (open_reference_sequence(store, platform, Window::main) > 0) {
                    make_blank_scielab_frame(store);
                }
                break;
            case command::save:
                save_degraded_sequence(store, platform, Window::main);
                break;
            case command::exit:
                if (confirm_close(platform)) return CommandResult::close_window;
                break;
            case command::colour_difference:
                if (store.atd_filter_set != 1) {
                    refuse(platform, set_atd_filter_text, caution_caption);
                    break;
                }
                platform.run_dialog("COLOR_DIFF_DLG");
                break;
            case command::atd_filter_settings:
                platform.run_dialog("ATD_SETTING_DLG");
                break;
            case command::environment_settings:
                platform.run_dialog("SETTING_DLG");
                break;
            case command::viewing_conditions:
                platform.run_dialog(viewing_dialog_name);
                repaint_main(platform);  // the quarter names the pixels per degree
                break;
            case command::random_noise:
                if (store.image_loaded != 1) {
                    refuse(platform, open_image_text, caution_caption);
                    break;
                }
                platform.run_dialog("RNDNOISE_DLG");
                break;
            case command::h264_avc:
                if (!platform.start_process(encoder_path(store.profile_folder))) {
                    refuse(platform, bad_address_text, encoder_caution_caption);
                }
                break;
            case command::scielab:
                run_scielab_command(store, platform);
                break;
            case command::about:
                refuse(platform, about_text, about_caption);
                break;
            case command::fit_view:
                store.fit_to_pane = !store.fit_to_pane;
                zoom_at(store, 0.0, 0, 0);  // fit (or the scale rule) in place of a zoom
                repaint_main(platform);
                break;
            case command::heatmap_view:
                store.heatmap_view = !store.heatmap_view;
                repaint_main(platform);
                break;
            case command::results_window:
                if (platform.show_results) platform.show_results();
                break;
            case command::export_results:
                run_export_command(store, platform);
                break;
            case command::go_to_frame:
                ask_frame_number(store, platform);
                break;
            case command::zoom_1:
                set_zoom(store, platform, 1.0);
                break;
            case command::zoom_2:
                set_zoom(store, platform, 2.0);
                break;
            case command::zoom_4:
                set_zoom(store, platform, 4.0);
                break;
            case command::zoom_8:
                set_zoom(store, platform, 8.0);
                break;
            case command::flicker:
                store.flicker_degraded = !store.flicker_degraded;
                repaint_main(platform);
                break;
            case command::threshold_overlay:
                ask_threshold(store, platform);
                break;
            default:
                break;
        }
    } catch (const Failure& failure) {
        refuse(platform, gui_failure_line(failure).c_str(), caution_caption);
        repaint_main(platform);
    } catch (const std::bad_alloc&) {
        refuse(platform, no_memory_text, caution_caption);
        repaint_main(platform);
    } catch (const RunCancelled&) {
        repaint_main(platform);  // cancelled by the user: what was made before stays
    }
    // Runs and loads leave the frames in their files; the first step then finds its frame read.
    read_ahead_current(store);
    return CommandResult::done;
}

}  // namespace orv
