#include "shell/sequences.h"

#include "shell/slot_memory.h"

#include <algorithm>
#include <utility>

namespace orv {

SequenceLoad load_frame_sequence(FrameStore& store, const std::vector<std::string>& paths,
                                 SequenceTable table) {
    SequenceLoad result;
    auto& pixel_table =
        table == SequenceTable::reference ? store.reference_pixels : store.degraded_pixels;
    const int n = static_cast<int>(std::min<std::size_t>(paths.size(), max_frames));
    for (int k = 0; k < n; ++k) {
        const std::string& path = paths[k];
        if (table == SequenceTable::degraded) store.degraded_name = store.degraded_origin = path;

        // Read into fresh records first: a failing file leaves slot k exactly as it was.
        PixelBuffer pixels;
        HeaderBlock header;
        FileMessage message;
        const int stride = read_bmp_frame(path, pixels, header, &message);
        if (stride <= 0) {
            result.count = 0;
            result.failed = true;
            result.message = std::move(message);
            return result;
        }
        // Moving in releases whatever the slot held before.
        pixel_table[k] = std::move(pixels);
        keep_in_store(pixel_table[k]);
        store.frame_headers[k] = std::move(header);
        store.frame_width[k] = header_width(store.frame_headers[k]);
        store.frame_height[k] = header_height(store.frame_headers[k]);
        store.frame_stride[k] = stride;
        // The name is stored with its frame, so each name always belongs to the frame in its
        // slot (the noise degradation reads the reference frames again by name).
        if (table == SequenceTable::reference) store.reference_names[k] = path;
        result.count = k + 1;
    }
    return result;
}

int save_degraded_frames(const FrameStore& store, const std::string& base,
                         const std::function<void(const FileMessage&)>& on_message) {
    int written = 0;
    for (int i = 0; i < store.degraded_count && i < max_frames; ++i) {
        FileMessage message;
        if (write_bmp_frame(numbered_name(base, i), store.degraded_pixels[i],
                            store.frame_headers[i], &message) == 0) {
            ++written;
        } else if (on_message) {
            on_message(message);
        }
        drop_resident_pages(store.degraded_pixels[i].bytes);
    }
    return written;
}

}  // namespace orv
