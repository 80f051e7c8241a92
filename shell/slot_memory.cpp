#include "shell/slot_memory.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sys/statvfs.h>

#include "image/spill_memory.h"
#include "measure/frame_loop.h"
#include "media/media_source.h"

namespace orv {

namespace {

// Working memory of one frame being measured, per pixel: the opponent planes, their spectra
// and the CIELAB images of both frames of a pair (measured on full-HD frames, rounded up).
constexpr std::uint64_t difference_work_per_pixel = 200;
constexpr std::uint64_t filter_work_per_pixel = 120;
// Head-room kept free on the temporary disk and in memory.
constexpr std::uint64_t margin = std::uint64_t{256} << 20;

std::uint64_t buffer_bytes(const PixelBuffer& pixels) { return pixels.bytes.size(); }

std::uint64_t frame_bytes(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return static_cast<std::uint64_t>(stride_for_width(width)) * static_cast<std::uint64_t>(height);
}

std::uint64_t pixels_of(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
}

// Width and height from a BMP file's headers; 0 x 0 when they cannot be read (the load
// itself then reports the file).
void bmp_size(const std::string& path, int& width, int& height) {
    width = height = 0;
    std::ifstream in(path, std::ios::binary);
    unsigned char head[26] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return;
    auto i32 = [&](int at) {
        const std::uint32_t v = static_cast<std::uint32_t>(head[at]) |
                                static_cast<std::uint32_t>(head[at + 1]) << 8 |
                                static_cast<std::uint32_t>(head[at + 2]) << 16 |
                                static_cast<std::uint32_t>(head[at + 3]) << 24;
        return static_cast<std::int32_t>(v);
    };
    const std::int32_t w = i32(18);
    const std::int32_t h = i32(22);
    if (w <= 0 || w > 1 << 20 || h == 0 || h < -(1 << 20) || h > 1 << 20) return;
    width = w;
    height = h < 0 ? -h : h;
}

// Frame size and count of a video or image file as its container announces them; 0 x 0 and
// no frames when it cannot be opened (the load itself then reports the file).
void media_size(const std::string& path, int& width, int& height, int& frames) {
    width = height = frames = 0;
    try {
        const MediaSource source = open_media(path, MediaOptions{});
        width = source.width;
        height = source.height;
        frames = std::max(source.frame_count, 0);
    } catch (const Failure&) {
    }
}

int threads_at_work() { return std::max(1, machine_threads()); }

std::string gigabytes(std::uint64_t bytes) {
    const double value = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    return std::string(text, end.ptr) + " GB";
}

std::uint64_t available_memory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t value = 0;
    std::string unit;
    while (meminfo >> key >> value) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:") return value * 1024;
    }
    return 0;
}

}  // namespace

void keep_in_store(PixelBuffer& pixels) { move_to_spill(pixels.bytes); }

void keep_in_store(InterleavedImage& result) { move_to_spill(result.data); }

void for_each_slot_buffer(const FrameStore& store, int slot,
                          const std::function<void(const void* block, std::size_t bytes)>& visit) {
    if (slot < 0 || slot >= max_frames) return;
    const auto s = static_cast<std::size_t>(slot);
    for (const PixelBuffer* p : {&store.reference_pixels[s], &store.degraded_pixels[s],
                                 &store.scielab_pixels[s], &store.diff_pixels[s]}) {
        if (!p->bytes.empty()) visit(p->bytes.data(), p->bytes.size());
    }
    const auto& values = store.diff_results[s].data;
    if (!values.empty()) visit(values.data(), values.size() * sizeof(values[0]));
}

void drop_slot_pages(const FrameStore& store, int slot) {
    for_each_slot_buffer(store, slot, [](const void* block, std::size_t bytes) {
        drop_resident_pages(block, bytes);
    });
}

void release_slot_pages(const FrameStore& store, int slot) {
    for_each_slot_buffer(store, slot, [](const void* block, std::size_t) { release_pages(block); });
}

MachineRoom measure_machine_room() {
    MachineRoom room;
    room.memory = available_memory();
    if (spill_enabled()) {
        struct statvfs fs {};
        if (::statvfs(spill_folder().c_str(), &fs) == 0) {
            room.disk = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
        }
    }
    return room;
}

RoomNeed load_need(const FrameStore& store, const std::vector<std::string>& paths, bool reference) {
    RoomNeed need;
    const auto& table = reference ? store.reference_pixels : store.degraded_pixels;
    std::uint64_t largest = 0;
    int slot = 0;
    for (std::size_t k = 0; k < paths.size() && slot < max_frames; ++k) {
        // A BMP file holds one frame of its headers' size; a video or image file, the frames
        // and size its container announces (probed without decoding).
        int w = 0;
        int h = 0;
        int frames = 1;
        if (is_bmp_path(paths[k])) {
            bmp_size(paths[k], w, h);
        } else {
            media_size(paths[k], w, h, frames);
        }
        frames = std::min(frames, max_frames - slot);
        need.kept += frame_bytes(w, h) * static_cast<std::uint64_t>(frames);
        largest = std::max(largest, frame_bytes(w, h));
        for (int i = 0; i < frames; ++i) {
            need.released += buffer_bytes(table[static_cast<std::size_t>(slot + i)]);
        }
        slot += frames;
    }
    // One frame read on the heap before it moves into its slot (an 8-bit file's rows too).
    need.working = 2 * largest;
    return need;
}

RoomNeed noise_need(const FrameStore& store) {
    RoomNeed need;
    std::uint64_t largest = 0;
    for (int i = 0; i < std::min(store.reference_count, max_frames); ++i) {
        const auto s = static_cast<std::size_t>(i);
        const std::uint64_t bytes = buffer_bytes(store.reference_pixels[s]);
        need.kept += bytes;
        largest = std::max(largest, bytes);
        need.released += buffer_bytes(store.degraded_pixels[s]);
    }
    need.working = 2 * largest;
    return need;
}

RoomNeed scielab_need(const FrameStore& store) {
    RoomNeed need;
    std::uint64_t largest = 0;
    for (int i = 0; i < std::min(store.reference_count, max_frames); ++i) {
        const auto s = static_cast<std::size_t>(i);
        const PixelBuffer& frame = store.reference_pixels[s];
        need.kept += frame_bytes(frame.width, frame.height);
        largest = std::max(largest, pixels_of(frame.width, frame.height));
        need.released += buffer_bytes(store.scielab_pixels[s]);
    }
    need.working = largest * filter_work_per_pixel * static_cast<std::uint64_t>(threads_at_work());
    return need;
}

RoomNeed difference_need(const FrameStore& store) {
    RoomNeed need;
    std::uint64_t largest = 0;
    const int n = std::min(std::max(store.reference_count, store.degraded_count), max_frames);
    for (int i = 0; i < n; ++i) {
        const auto s = static_cast<std::size_t>(i);
        const int w = header_width(store.frame_headers[s]);
        const int h = header_height(store.frame_headers[s]);
        need.kept += frame_bytes(w, h) + pixels_of(w, h) * sizeof(double);
        largest = std::max(largest, pixels_of(w, h));
        need.released +=
            buffer_bytes(store.diff_pixels[s]) + store.diff_results[s].data.size() * sizeof(double);
    }
    need.working =
        largest * difference_work_per_pixel * static_cast<std::uint64_t>(threads_at_work());
    return need;
}

std::string no_room_text(const RoomNeed& need, const MachineRoom& room, bool spilling) {
    std::string text = "メモリまたはディスクの空きが足りないため処理できません\n";
    if (spilling) {
        text += "必要: 一時ディスク " + gigabytes(need.kept + margin) + "、メモリ " +
                gigabytes(need.working + margin) + "\n";
        text += "空き: 一時ディスク " + gigabytes(room.disk + need.released) + "、メモリ " +
                gigabytes(room.memory) + "\n";
    } else {
        text += "必要: メモリ " + gigabytes(need.kept + need.working + margin) + "\n";
        text += "空き: メモリ " + gigabytes(room.memory + need.released) + "\n";
    }
    return text;
}

bool check_room(Platform& platform, Window owner, const RoomNeed& need) {
    if (!platform.machine_room) return true;
    const MachineRoom room = platform.machine_room();
    const bool spilling = spill_enabled();
    bool enough;
    if (spilling) {
        enough =
            need.kept + margin <= room.disk + need.released && need.working + margin <= room.memory;
    } else {
        enough = need.kept + need.working + margin <= room.memory + need.released;
    }
    if (enough) return true;
    MessageRequest request;
    request.owner = owner;
    request.text = no_room_text(need, room, spilling);
    request.caption = no_room_caption;
    request.buttons = MessageButtons::ok;
    request.icon = MessageIcon::information;
    platform.message_box(request);
    return false;
}

}  // namespace orv
