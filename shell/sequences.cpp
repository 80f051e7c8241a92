#include "shell/sequences.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "media/media_sequence.h"
#include "media/media_source.h"
#include "shell/failure_texts.h"
#include "shell/slot_memory.h"

namespace orv {

FileMessage file_message(const Failure& failure) {
    return FileMessage{gui_failure_text(failure), failure.path};
}

SequenceLoad load_frame_sequence(FrameStore& store, const std::vector<std::string>& paths,
                                 SequenceTable table) {
    SequenceLoad result;
    ++store.input_changes;  // slots are replaced from here on, even when a file then fails
    clear_measurement(store);
    if (table == SequenceTable::reference) {
        // The kept coordinates belong to the frames being replaced.
        ++store.reference_changes;
        clear_reference_store(*store.reference_store);
    }
    auto& pixel_table =
        table == SequenceTable::reference ? store.reference_pixels : store.degraded_pixels;
    auto& deep_table =
        table == SequenceTable::reference ? store.reference_deep : store.degraded_deep;
    // Read into fresh records first: a failing file leaves its slot exactly as it was.
    auto fail = [&result](FileMessage message) {
        result.count = 0;
        result.failed = true;
        result.message = std::move(message);
        return result;
    };
    std::vector<InputFile> files;
    std::vector<StreamTags> tags;
    auto place = [&](int k, const std::string& path, int frame, int frame_count,
                     PixelBuffer&& pixels, HeaderBlock&& header) {
        // Moving in releases whatever the slot held before.
        const int stride = pixels.stride;
        deep_table[k] = DeepSource{};
        pixel_table[k] = std::move(pixels);
        keep_in_store(pixel_table[k]);
        store.frame_headers[k] = std::move(header);
        store.frame_width[k] = header_width(store.frame_headers[k]);
        store.frame_height[k] = header_height(store.frame_headers[k]);
        store.frame_stride[k] = stride;
        // The name is stored with its frame, so each name always belongs to the frame in its
        // slot (the noise degradation reads the reference frames again by name).
        if (table == SequenceTable::reference) {
            store.reference_names[k] = path;
            store.reference_frame_index[k] = frame;
        }
        (table == SequenceTable::reference ? store.reference_frame_names
                                           : store.degraded_frame_names)[k] =
            sequence_frame_name(path, frame_count, frame);
        result.count = k + 1;
    };

    int k = 0;
    for (std::size_t file = 0; file < paths.size() && k < max_frames; ++file) {
        const std::string& path = paths[file];
        if (table == SequenceTable::degraded) store.degraded_name = store.degraded_origin = path;
        if (is_bmp_path(path)) {
            PixelBuffer pixels;
            HeaderBlock header;
            Failure failure;
            if (read_bmp_frame(path, pixels, header, &failure) <= 0) {
                return fail(file_message(failure));
            }
            place(k++, path, 0, 1, std::move(pixels), std::move(header));
            files.push_back({path, bmp_colour_handling});
            continue;
        }
        try {
            // Frames of more than 8 bits are noted, so that a run measures their exact values.
            MediaOptions options;
            options.keep_signal = true;
            MediaSource source = open_media(path, options);
            PixelBuffer pixels;
            HeaderBlock header;
            int frame = 0;
            files.push_back({path, source.colour});
            tags.push_back({source.transfer_tag, source.primaries_tag});
            while (k < max_frames && next_frame(source, pixels, header)) {
                const bool deep = source.signal.present();
                source.signal = SignalFrame{};
                place(k, path, frame, source.frame_count, std::move(pixels), std::move(header));
                if (deep) deep_table[k] = DeepSource{path, frame};
                ++k;
                ++frame;
            }
            if (k == max_frames && frame < source.frame_count) {
                result.notice = FileMessage{video_cut_text, path};
            }
        } catch (const Failure& failure) {
            return fail(FileMessage{gui_failure_text(failure), path});
        }
    }
    (table == SequenceTable::reference ? store.reference_files : store.degraded_files) =
        std::move(files);
    (table == SequenceTable::reference ? store.reference_tags : store.degraded_tags) =
        std::move(tags);
    return result;
}

namespace {

bool file_exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace

int existing_save_files(const FrameStore& store, const std::string& base) {
    int existing = 0;
    for (int i = 0; i < store.degraded_count && i < max_frames; ++i) {
        if (file_exists(numbered_name(base, i))) ++existing;
    }
    return existing;
}

int save_degraded_frames(const FrameStore& store, const std::string& base,
                         const std::function<void(const FileMessage&)>& on_message,
                         bool skip_existing) {
    int written = 0;
    for (int i = 0; i < store.degraded_count && i < max_frames; ++i) {
        if (skip_existing && file_exists(numbered_name(base, i))) continue;
        Failure failure;
        if (write_bmp_frame(numbered_name(base, i), store.degraded_pixels[i],
                            store.frame_headers[i], &failure) == 0) {
            ++written;
        } else if (on_message) {
            on_message(file_message(failure));
        }
        drop_resident_pages(store.degraded_pixels[i].bytes);
    }
    return written;
}

}  // namespace orv
