#include "shell/noise_dialog.h"

#include <cstddef>
#include <utility>

#include "image/bmp_file.h"
#include "measure/degradations.h"
#include "media/media_sequence.h"
#include "resources/dialog_templates.h"
#include "shell/failure_texts.h"
#include "shell/slot_memory.h"

namespace orv {

namespace n = noise_item;

namespace {

// An edit's text as a 260-character buffer would hold it.
std::string edit_text(DialogItems& items, int id) {
    std::string text = items.get_text(id);
    if (text.size() > static_cast<std::size_t>(path_length - 1)) text.resize(path_length - 1);
    return text;
}

}  // namespace

bool make_noisy_sequence(FrameStore& store, Platform& platform, DialogItems& items) {
    if (!check_room(platform, Window::dialog, noise_need(store))) return false;
    ++store.input_changes;  // slots are replaced from here on, even when a frame then fails
    const SeedSource seed = [&platform] { return platform.tick_count(); };
    ProgressScope progress(platform, noise_progress_label, store.reference_count);
    FrameReader reader;  // keeps a video open from one slot to the next
    for (int i = 0; i < store.reference_count && i < max_frames; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        PixelBuffer pixels;
        HeaderBlock header;
        try {
            read_frame_at(reader, store.reference_names[slot], store.reference_frame_index[slot],
                          MediaOptions{}, pixels, header);
        } catch (const Failure& failure) {
            progress.close();
            show_dialog_message(platform, gui_failure_text(failure), failure.path);
            return false;
        }
        const int stride = pixels.stride;
        const double sigma_red = sigma_from_text(edit_text(items, n::sigma_red));
        const double sigma_green = sigma_from_text(edit_text(items, n::sigma_green));
        const double sigma_blue = sigma_from_text(edit_text(items, n::sigma_blue));
        add_gaussian_noise(pixels, sigma_red, sigma_green, sigma_blue, seed);
        // The new buffer replaces (and releases) the previous degraded frame. The header block
        // of the slot stays; only the size of the file read again is taken.
        store.degraded_pixels[slot] = std::move(pixels);
        store.degraded_frame_names[slot] = noise_origin_text;
        keep_in_store(store.degraded_pixels[slot]);
        drop_slot_pages(store, i);
        store.frame_stride[slot] = stride;
        store.frame_width[slot] = header_width(header);
        store.frame_height[slot] = header_height(header);
        progress.step(i + 1);
    }
    store.degraded_count = store.reference_count;
    store.degraded_origin = noise_origin_text;
    store.degraded_files.clear();
    store.degraded_ready = 1;
    return true;
}

DialogHandlers noise_dialog_handlers(FrameStore& store, Platform& platform) {
    DialogHandlers h;
    h.open = [&platform](DialogItems& items) {
        items.set_text(n::sigma_red, "0");
        items.set_text(n::sigma_green, "0");
        items.set_text(n::sigma_blue, "0");
        platform.invalidate(Window::main, true);
    };
    h.command = [&store, &platform](DialogItems& items, int id) {
        if (id == item::ok) {
            if (!make_noisy_sequence(store, platform, items)) return;
            items.end_dialog(item::ok);
            platform.invalidate(Window::main, true);
        } else if (id == item::cancel) {
            items.end_dialog(item::cancel);
        }
    };
    return h;
}

}  // namespace orv
