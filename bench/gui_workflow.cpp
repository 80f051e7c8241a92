// The GUI's whole workflow on a long generated sequence, without a window: the menu commands
// and dialogs of the shell logic driven by a scripted platform, as a user would take them:
// ATDフィルタ設定 → 開く → ランダムノイズ → S_CIELAB → 色差画像 → stepping through every frame →
// 保存. Prints the wall time of each step and the process's peak resident memory after it.
//
//   gui_workflow FRAMES WIDTH HEIGHT PROFILE_FOLDER WORK_FOLDER
//
// Frames live in the frame store's temporary files in WORK_FOLDER (as in the GUI); the
// source BMP files are 8 distinct generated frames named over and over, so the disk holds
// only the frame store and the saved sequence.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "image/bmp_file.h"
#include "image/spill_memory.h"
#include "measure/frame_loop.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "shell/dialog_logic.h"
#include "shell/frame_store.h"
#include "shell/main_window.h"
#include "shell/navigation.h"
#include "shell/panes.h"
#include "shell/slot_memory.h"

namespace {

using Clock = std::chrono::steady_clock;

double peak_rss_gb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / (1024.0 * 1024.0);  // kilobytes
}

double rss_gb() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0 * 1024.0);
}

// Pushes a frame-store buffer's pages out of memory and out of the page cache, so that the
// next touch reads them from the disk. Reclaim finds only pages mapped here: they are mapped
// first (from the page cache), then reclaimed.
void page_out(const void* data, std::size_t bytes) {
    void* block = const_cast<void*>(data);
    ::madvise(block, bytes, MADV_POPULATE_READ);
    ::madvise(block, bytes, MADV_PAGEOUT);
}

// The kernel's counters of interest for a pass: what was read from disk, what memory had to
// be reclaimed on the way, and free memory.
std::map<std::string, long long> kernel_counters() {
    std::map<std::string, long long> c;
    std::ifstream vmstat("/proc/vmstat");
    std::string key;
    long long value = 0;
    while (vmstat >> key >> value) c[key] = value;
    return c;
}

void print_kernel_counters(const std::map<std::string, long long>& before) {
    const std::map<std::string, long long> after = kernel_counters();
    std::printf("  kernel:");
    for (const char* key : {"pgpgin", "pgscan_direct", "pgscan_kswapd", "allocstall_normal",
                            "allocstall_movable", "workingset_refault_file", "nr_free_pages"}) {
        const auto a = after.find(key);
        const auto b = before.find(key);
        if (a == after.end() || b == before.end()) continue;
        const long long shown =
            std::string(key) == "nr_free_pages" ? a->second : a->second - b->second;
        std::printf(" %s %lld", key, shown);
    }
    std::printf("\n");
}

void report(const char* step, Clock::time_point start, int frames) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-22s %9.1f s  %8.1f ms/frame   RSS now %5.2f GB   peak %5.2f GB\n", step, seconds,
                1000.0 * seconds / frames, rss_gb(), peak_rss_gb());
    std::fflush(stdout);
}

// A dialog of plain item texts.
struct TextDialog {
    std::map<int, std::string> texts;
    int result = 0;
    orv::DialogItems items;
    TextDialog(const TextDialog&) = delete;
    TextDialog& operator=(const TextDialog&) = delete;
    TextDialog() {
        items.set_text = [this](int id, const std::string& t) { texts[id] = t; };
        items.get_text = [this](int id) { return texts[id]; };
        items.end_dialog = [this](int r) { result = r; };
    }
};

orv::HeaderBlock header_for(int width, int height) {
    orv::HeaderBlock h(orv::header_block_size, 0);
    auto put = [&h](int at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) h[static_cast<std::size_t>(at + k)] = (v >> (8 * k)) & 0xFF;
    };
    put(0, 40);
    put(4, static_cast<std::uint32_t>(width));
    put(8, static_cast<std::uint32_t>(height));
    h[12] = 1;
    h[14] = 24;
    put(20, static_cast<std::uint32_t>(orv::stride_for_width(width) * height));
    return h;
}

orv::PixelBuffer generated_frame(int width, int height, int k) {
    orv::PixelBuffer p = orv::make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = p.bytes.data() + static_cast<std::size_t>(y) * p.stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>((x + 7 * k) & 0xFF);
            row[3 * x + 1] = static_cast<std::uint8_t>((y * 3 + x / 5 + 11 * k) & 0xFF);
            row[3 * x + 2] = static_cast<std::uint8_t>(((x ^ y) + 13 * k) & 0xFF);
        }
    }
    return p;
}

// The window's conversion of a shown frame (shell/qt/image_pane.cpp): bottom-up B,G,R rows
// into a top-down 32-bit picture that is kept from step to step. Returns a checksum of it.
unsigned long long convert_as_window(const orv::PixelBuffer& buffer,
                                     std::vector<std::uint32_t>& picture) {
    const auto width = static_cast<std::size_t>(buffer.width);
    picture.resize(width * static_cast<std::size_t>(buffer.height));
    unsigned long long sum = 0;
    for (int y = 0; y < buffer.height; ++y) {
        const std::uint8_t* source =
            buffer.bytes.data() + static_cast<std::size_t>(buffer.height - 1 - y) *
                                      static_cast<std::size_t>(buffer.stride);
        std::uint32_t* target = picture.data() + static_cast<std::size_t>(y) * width;
        for (std::size_t x = 0; x < width; ++x, source += 3) {
            target[x] = 0xFF000000u | std::uint32_t{source[2]} << 16 |
                        std::uint32_t{source[1]} << 8 | source[0];
            sum += target[x] & 0xFFFFFFu;
        }
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: gui_workflow FRAMES WIDTH HEIGHT PROFILE_FOLDER WORK_FOLDER\n");
        return 2;
    }
    const int frames = std::atoi(argv[1]);
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const std::string profile = argv[4];
    const std::filesystem::path work = argv[5];
    std::filesystem::create_directories(work / "sources");
    std::filesystem::create_directories(work / "saved");
    std::filesystem::create_directories(work / "store");

    // The window's allocator as it is (the batch tool's keep_freed_frame_planes is not used
    // there), so the peak memory printed is the window's.
    orv::set_spill_folder((work / "store").string());

    // Source files: 8 distinct frames, named over and over.
    std::vector<std::string> distinct;
    for (int k = 0; k < 8; ++k) {
        const orv::PixelBuffer frame = generated_frame(width, height, k);
        const orv::HeaderBlock header = header_for(width, height);
        const std::string path =
            (work / "sources" / ("frame_" + std::to_string(k) + ".bmp")).string();
        std::filesystem::remove(path);
        orv::write_bmp_frame(path, frame, header, nullptr);
        distinct.push_back(path);
    }
    std::vector<std::string> paths;
    for (int i = 0; i < frames; ++i) paths.push_back(distinct[static_cast<std::size_t>(i) % 8]);

    orv::FrameStore& store = orv::frame_store();
    orv::start_frame_store(store, profile);

    orv::Platform platform;
    std::vector<std::string> messages;
    std::vector<std::string> open_answer = paths;
    std::string save_answer = (work / "saved" / "degraded.bmp").string();
    platform.message_box = [&](const orv::MessageRequest& r) {
        messages.push_back(r.text);
        return r.buttons == orv::MessageButtons::yes_no ? orv::MessageAnswer::yes
                                                        : orv::MessageAnswer::ok;
    };
    platform.open_files = [&](const orv::FileDialogRequest&) {
        return std::optional<std::vector<std::string>>(open_answer);
    };
    platform.save_file = [&](const orv::FileDialogRequest&) {
        return std::optional<std::string>(save_answer);
    };
    platform.choose_folder = [](orv::Window, const std::string&, const std::string&) {
        return std::optional<std::string>();
    };
    platform.invalidate = [](orv::Window, bool) {};
    platform.start_process = [](const std::string&) { return false; };
    platform.tick_count = [] { return std::uint32_t{12345}; };
    platform.progress = [](const std::string&, int, int) {};
    platform.machine_room = orv::measure_machine_room;
    platform.run_dialog = [&](const std::string& name) {
        TextDialog dialog;
        const orv::DialogHandlers h = orv::make_dialog_handlers(name, store, platform);
        h.open(dialog.items);
        if (name == "ATD_SETTING_DLG") {
            dialog.texts[orv::settings_item::folder_edit] = profile;
            h.command(dialog.items, orv::settings_item::load_kernels);
        } else if (name == "RNDNOISE_DLG") {
            for (int id : {orv::noise_item::sigma_red, orv::noise_item::sigma_green,
                           orv::noise_item::sigma_blue}) {
                dialog.texts[id] = "4";
            }
        }
        h.command(dialog.items, orv::item::ok);
        return dialog.result;
    };

    std::printf("%d frames of %d x %d, frame store in %s, %d threads\n", frames, width, height,
                (work / "store").c_str(), orv::machine_threads());
    auto run = [&](const char* step, int command) {
        const auto start = Clock::now();
        orv::run_main_command(store, platform, command);
        report(step, start, frames);
        for (const std::string& m : messages) std::printf("  message: %s\n", m.c_str());
        messages.clear();
    };
    run("ATD filter settings", orv::command::atd_filter_settings);
    run("open", orv::command::open);
    run("random noise", orv::command::random_noise);
    run("S_CIELAB", orv::command::scielab);
    run("colour-difference", orv::command::colour_difference);

    // Stepping: each step paints the three panes and converts the frames they show into
    // pictures kept from step to step, as the window layer does. Three times: with the frame-store
    // files in the page cache as the runs left them; with every slot's pages pushed out of
    // memory first, as on a machine whose memory cannot hold the files (each shown frame then
    // comes back from the disk), step after step; and so again at a person's pace, a step
    // every 200 ms (the pause is not counted).
    enum class Pass { cached, from_disk, paced };
    // The panes' pictures, kept by the window from paint to paint; the window has drawn the
    // frame shown when the runs ended before the first step.
    std::vector<std::uint32_t> pictures[3];
    for (int pane = 0; pane < 3; ++pane) {
        const orv::PaneDrawing d = orv::paint_pane(store, static_cast<orv::Pane>(pane), 960, 560);
        if (d.image != nullptr) convert_as_window(*d.image, pictures[pane]);
    }
    for (const Pass pass : {Pass::cached, Pass::from_disk, Pass::paced}) {
        const bool evicted = pass != Pass::cached;
        if (evicted) {
            ::sync();  // clean pages only can be reclaimed
            for (int slot = 0; slot < std::min(frames, orv::max_frames); ++slot) {
                orv::for_each_slot_buffer(store, slot, page_out);
            }
        }
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto counters = kernel_counters();
        const auto start = Clock::now();
        std::vector<double> steps;  // ms
        unsigned long long sum = 0;
        double stepping = 0.0;  // in step_frame: pages given back and asked for
        Clock::duration paused{};
        for (int i = 0; i < frames; ++i) {
            if (pass == Pass::paced) {
                const auto pause = Clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                paused += Clock::now() - pause;
            }
            const auto t0 = Clock::now();
            orv::step_frame(store, platform, orv::FrameStep::next);
            const auto t1 = Clock::now();
            for (int pane = 0; pane < 3; ++pane) {
                const orv::PaneDrawing d =
                    orv::paint_pane(store, static_cast<orv::Pane>(pane), 960, 560);
                if (d.image != nullptr) sum += convert_as_window(*d.image, pictures[pane]);
            }
            const auto t2 = Clock::now();
            stepping += std::chrono::duration<double, std::milli>(t1 - t0).count();
            const double ms = std::chrono::duration<double, std::milli>(t2 - t0).count();
            steps.push_back(ms);
        }
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        print_kernel_counters(counters);
        // Major faults: touches that waited for the disk.
        const auto cpu_ms = [frames](const timeval& a, const timeval& b) {
            return (1000.0 * static_cast<double>(b.tv_sec - a.tv_sec) +
                    static_cast<double>(b.tv_usec - a.tv_usec) / 1000.0) /
                   std::max(frames, 1);
        };
        std::printf(
            "  page faults: %ld waiting for the disk, %ld not; processor %.1f ms a step "
            "in the program, %.1f ms in the kernel\n",
            after.ru_majflt - before.ru_majflt, after.ru_minflt - before.ru_minflt,
            cpu_ms(before.ru_utime, after.ru_utime), cpu_ms(before.ru_stime, after.ru_stime));
        const char* names[] = {"stepping (each frame)", "stepping, from disk",
                               "  one step / 200 ms"};
        report(names[static_cast<int>(pass)], start + paused, frames);
        // The steps over 50 ms in order (the frame each one showed), the first ten of them.
        std::string slow;
        int listed = 0;
        for (std::size_t i = 0; i < steps.size() && listed < 10; ++i) {
            if (steps[i] <= 50.0) continue;
            slow += " " + std::to_string((i + 1) % steps.size()) + ":" +
                    std::to_string(static_cast<int>(steps[i])) + "ms";
            ++listed;
        }
        if (!slow.empty()) std::printf("  slow steps (frame:time):%s\n", slow.c_str());
        std::sort(steps.begin(), steps.end());
        const auto at = [&steps](double share) {
            return steps.empty() ? 0.0
                                 : steps[static_cast<std::size_t>(share * (steps.size() - 1))];
        };
        const auto over =
            std::count_if(steps.begin(), steps.end(), [](double ms) { return ms > 50.0; });
        std::printf(
            "  steps: median %.1f ms, 95th percentile %.1f ms, slowest %.1f ms, %ld of %zu "
            "over 50 ms; %.1f ms a step in step_frame, the rest drawing (checksum %llu)\n",
            at(0.5), at(0.95), at(1.0), static_cast<long>(over), steps.size(),
            stepping / std::max(frames, 1), sum);
    }
    run("save", orv::command::save);
    std::printf("frame store files: %.1f GB mapped\n",
                static_cast<double>(orv::spilled_bytes()) / (1024.0 * 1024.0 * 1024.0));
    orv::shut_down_frame_store(store);
    orv::reset_frame_store(store);
    std::filesystem::remove_all(work / "saved");
    return 0;
}
