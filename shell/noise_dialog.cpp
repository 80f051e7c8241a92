#include "shell/noise_dialog.h"

#include <cstddef>
#include <utility>

#include "image/bmp_file.h"
#include "measure/degradations.h"
#include "measure/frame_loop.h"
#include "media/media_sequence.h"
#include "numeric/number_text.h"
#include "resources/dialog_templates.h"
#include "shell/failure_texts.h"
#include "shell/field_numbers.h"
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

// The sigma of an edit: its number with a decimal comma read as the point (checked by
// sigma_fields_are_numbers before the run).
double edit_sigma(DialogItems& items, int id) {
    const std::string typed = edit_text(items, id);
    return sigma_from_text(field_number_text(typed).value_or(typed));
}

// Refuses, naming the field, an edit whose text is not a number (empty counts as 0).
bool sigma_fields_are_numbers(Platform& platform, DialogItems& items) {
    const std::pair<int, const char*> fields[] = {{n::sigma_red, "Rチャンネル"},
                                                  {n::sigma_green, "Gチャンネル"},
                                                  {n::sigma_blue, "Bチャンネル"}};
    for (const auto& [id, name] : fields) {
        const std::string typed = edit_text(items, id);
        if (!field_number_text(typed)) {
            show_dialog_message(platform, field_not_number_text(name, typed), dialog_error_caption);
            return false;
        }
    }
    return true;
}

}  // namespace

// The seed edit: empty gives nothing (the tick count seeds each pass), otherwise a whole
// number 0 .. 4294967295, as orv-cli's --seed takes it; -2 when it is neither.
long long seed_field(DialogItems& items) {
    const std::string typed = edit_text(items, n::seed);
    const std::size_t first = typed.find_first_not_of(" \t");
    if (first == std::string::npos) return -1;
    const std::size_t last = typed.find_last_not_of(" \t");
    long long value = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (typed[i] < '0' || typed[i] > '9') return -2;
        value = value * 10 + (typed[i] - '0');
        if (value > 4294967295LL) return -2;
    }
    return value;
}

bool make_noisy_sequence(FrameStore& store, Platform& platform, DialogItems& items) {
    if (!sigma_fields_are_numbers(platform, items)) return false;
    const long long fixed_seed = seed_field(items);
    if (fixed_seed == -2) {
        show_dialog_message(platform,
                            field_not_number_text(noise_seed_name, edit_text(items, n::seed)),
                            dialog_error_caption);
        return false;
    }
    if (!check_room(platform, Window::dialog, noise_need(store))) return false;
    ++store.input_changes;  // slots are replaced from here on, even when a frame then fails
    clear_measurement(store);
    // A seed typed in seeds every pass, as orv-cli's --seed does; otherwise the tick count.
    const SeedSource seed = [&platform, fixed_seed] {
        return fixed_seed >= 0 ? static_cast<std::uint32_t>(fixed_seed) : platform.tick_count();
    };
    ProgressScope progress(platform, noise_progress_label, store.reference_count);
    FrameReader reader;  // keeps a video open from one slot to the next
    int made = 0;
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
        const double sigma_red = edit_sigma(items, n::sigma_red);
        const double sigma_green = edit_sigma(items, n::sigma_green);
        const double sigma_blue = edit_sigma(items, n::sigma_blue);
        add_gaussian_noise(pixels, sigma_red, sigma_green, sigma_blue, seed);
        // The new buffer replaces (and releases) the previous degraded frame. The header block
        // of the slot stays; only the size of the file read again is taken.
        store.degraded_pixels[slot] = std::move(pixels);
        store.degraded_deep[slot] = DeepSource{};  // the noisy 8-bit pixels are the values
        store.degraded_frame_names[slot] = noise_origin_text;
        keep_in_store(store.degraded_pixels[slot]);
        drop_slot_pages(store, i);
        store.frame_stride[slot] = stride;
        store.frame_width[slot] = header_width(header);
        store.frame_height[slot] = header_height(header);
        made = i + 1;
        try {
            progress.step(i + 1);
        } catch (const RunCancelled&) {
            break;  // cancelled: the frames made so far are the degraded sequence
        }
    }
    progress.close();
    store.noise_sigma = {edit_sigma(items, n::sigma_red), edit_sigma(items, n::sigma_green),
                         edit_sigma(items, n::sigma_blue)};
    store.noise_seed = fixed_seed;
    store.degraded_count = made;
    store.degraded_origin = noise_origin_text;
    store.degraded_files.clear();
    store.degraded_tags.clear();
    store.degraded_ready = 1;
    return true;
}

std::string noise_record_text(const FrameStore& store) {
    auto sigma = [](double value) {
        std::string text = fixed_text(value, 6);
        while (text.size() > 1 && text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
        return text;
    };
    return std::string(noise_origin_text) + ": σ R " + sigma(store.noise_sigma[0]) + ", G " +
           sigma(store.noise_sigma[1]) + ", B " + sigma(store.noise_sigma[2]) + "; seed " +
           (store.noise_seed < 0 ? std::string("tick count") : std::to_string(store.noise_seed));
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
