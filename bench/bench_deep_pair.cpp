// A 10-bit frame pair against the same content at 8 bits, in one run: difference_map's wall
// time on one thread for the 24-bit frames and for the same frames given as exact signals,
// best of several runs, and the ratio 10-bit / 8-bit (target <= 1.2). The content is video's:
// textured frames as 10-bit 4:2:0 BT.2020 limited-range Y'CbCr codes (dithered so that every
// code is met), turned into 24-bit pixels and into exact signals by the decoder's formula, so
// that the signals hold the many distinct values of decoded video. With "codes" the signals
// are each byte b as the 10-bit code 4b + (x + y) % 4 instead, 1024 values per channel.
// Display: the profile's model, or the one named (the standard transfers with bt2020
// primaries), or every one in turn.
// Usage: bench_deep_pair [width height, default 1920 1080] [runs, default 3]
//        [profile|srgb|bt1886|pq|hlg|all, default all] [video|codes, default video]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "colour/display_model.h"
#include "image/signal_frame.h"
#include "measure/frame_loop.h"
#include "media/yuv_to_rgb.h"
#include "numeric/parallel.h"

namespace {

orv::SignalFrame ten_bits(const orv::PixelBuffer& frame) {
    orv::SignalFrame s = orv::make_signal_frame(frame.width, frame.height);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* row = frame.bytes.data() + static_cast<std::size_t>(y) * frame.stride;
        double* out = s.rgb.data() + 3 * static_cast<std::size_t>(y) * frame.width;
        for (int x = 0; x < frame.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int code = std::min(1023, 4 * row[3 * x + 2 - c] + (x + y) % 4);
                out[3 * x + c] = code / 1023.0;
            }
        }
    }
    return s;
}

// A frame pair as decoded 10-bit video gives it: 24-bit pixels and exact signals of the same
// Y'CbCr codes.
struct VideoFrame {
    orv::PixelBuffer pixels;
    orv::SignalFrame signal;
};

VideoFrame video_frame(const orv::PixelBuffer& frame) {
    const int w = frame.width;
    const int h = frame.height;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    const orv::LumaWeights k = orv::luma_weights(orv::YuvMatrix::bt2020);
    const double kg = 1.0 - k.kr - k.kb;
    std::vector<std::uint16_t> luma(static_cast<std::size_t>(w) * h);
    std::vector<double> pb(static_cast<std::size_t>(cw) * ch, 0.0);
    std::vector<double> pr(pb.size(), 0.0);
    // Rows top first, as a decoder gives them; the BMP frame's rows are bottom-up.
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row =
            frame.bytes.data() + static_cast<std::size_t>(h - 1 - y) * frame.stride;
        for (int x = 0; x < w; ++x) {
            const double r = row[3 * x + 2] / 255.0;
            const double g = row[3 * x + 1] / 255.0;
            const double b = row[3 * x] / 255.0;
            const double ey = k.kr * r + kg * g + k.kb * b;
            const double dither = ((x + 2 * y) % 4) / 4.0 - 0.375;
            luma[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(
                std::clamp(std::lround(64 + 876 * ey + dither), 64L, 940L));
            const std::size_t c = static_cast<std::size_t>(y / 2) * cw + x / 2;
            pb[c] += (b - ey) / (2.0 * (1.0 - k.kb)) / 4.0;
            pr[c] += (r - ey) / (2.0 * (1.0 - k.kr)) / 4.0;
        }
    }
    std::vector<std::uint16_t> cb(pb.size());
    std::vector<std::uint16_t> cr(pr.size());
    for (std::size_t i = 0; i < pb.size(); ++i) {
        cb[i] = static_cast<std::uint16_t>(std::clamp(std::lround(512 + 896 * pb[i]), 64L, 960L));
        cr[i] = static_cast<std::uint16_t>(std::clamp(std::lround(512 + 896 * pr[i]), 64L, 960L));
    }
    orv::YuvPlanes planes;
    planes.width = w;
    planes.height = h;
    planes.depth = 10;
    planes.chroma_shift_x = 1;
    planes.chroma_shift_y = 1;
    planes.planes[0] = reinterpret_cast<const std::uint8_t*>(luma.data());
    planes.planes[1] = reinterpret_cast<const std::uint8_t*>(cb.data());
    planes.planes[2] = reinterpret_cast<const std::uint8_t*>(cr.data());
    planes.strides[0] = 2 * static_cast<std::ptrdiff_t>(w);
    planes.strides[1] = 2 * static_cast<std::ptrdiff_t>(cw);
    planes.strides[2] = 2 * static_cast<std::ptrdiff_t>(cw);
    const orv::YuvColour colour{orv::YuvMatrix::bt2020, orv::YuvRange::limited};
    VideoFrame out;
    out.pixels = orv::make_pixel_buffer(w, h);
    orv::convert_yuv_to_bgr(planes, colour, out.pixels);
    orv::convert_yuv_to_signal(planes, colour, out.signal);
    return out;
}

double processor_ms() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
    orv::keep_freed_frame_planes();  // the allocator as orv-cli sets it
    const int w = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int h = argc > 2 ? std::atoi(argv[2]) : 1080;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string asked = argc > 4 ? argv[4] : "all";
    const std::string content = argc > 5 ? argv[5] : "video";
    std::vector<orv::DisplayTransfer> displays;
    if (asked == "all") {
        displays = {orv::DisplayTransfer::profile, orv::DisplayTransfer::srgb,
                    orv::DisplayTransfer::bt1886, orv::DisplayTransfer::pq,
                    orv::DisplayTransfer::hlg};
    } else if (const auto one = orv::transfer_from_text(asked)) {
        displays = {*one};
    }
    if (w < 1 || h < 1 || runs < 1 || displays.empty() ||
        (content != "video" && content != "codes")) {
        std::fprintf(stderr,
                     "usage: bench_deep_pair [width height] [runs] "
                     "[profile|srgb|bt1886|pq|hlg|all] [video|codes]\n");
        return 2;
    }
    const orv::MeasurementConditions profile_conditions =
        orv::make_conditions(bench::default_profile(), bench::default_filters());
    VideoFrame reference{bench::frame(3, w, h), {}};
    VideoFrame degraded{bench::frame(4, w, h), {}};
    if (content == "video") {
        reference = video_frame(reference.pixels);
        degraded = video_frame(degraded.pixels);
    } else {
        reference.signal = ten_bits(reference.pixels);
        degraded.signal = ten_bits(degraded.pixels);
    }
    orv::set_core_budget(1);

    for (const orv::DisplayTransfer display : displays) {
        orv::MeasurementConditions conditions = profile_conditions;
        if (display != orv::DisplayTransfer::profile) {
            orv::DisplayChoice choice;
            choice.transfer = display;
            choice.primaries = orv::DisplayPrimaries::bt2020;
            orv::set_display_choice(conditions.colour, choice);
        }
        // Wall time and the process's processor time (steadier on a shared machine), best of
        // the runs each; the 24-bit and the exact pair in turns, so that a change in the
        // machine's load falls on both.
        struct Best {
            double wall = 1e300;
            double processor = 1e300;
        };
        Best eight;
        Best ten;
        const auto run = [&](bool deep, Best& best, bool count) {
            const double processor_start = processor_ms();
            const auto start = std::chrono::steady_clock::now();
            const orv::InterleavedImage map = orv::difference_map(
                reference.pixels, degraded.pixels, conditions, nullptr, {},
                deep ? &reference.signal : nullptr, deep ? &degraded.signal : nullptr);
            const auto stop = std::chrono::steady_clock::now();
            const double processor = processor_ms() - processor_start;
            if (map.data.empty() || !count) return;
            best.wall = std::min(best.wall,
                                 std::chrono::duration<double, std::milli>(stop - start).count());
            best.processor = std::min(best.processor, processor);
        };
        for (int i = 0; i <= runs; ++i) {  // the first turn warms up
            run(false, eight, i > 0);
            run(true, ten, i > 0);
        }
        std::printf(
            "%dx%d pair (%s), display %s, one thread, best of %d: 8-bit %.0f ms, 10-bit %.0f "
            "ms, ratio %.2f (processor time %.0f / %.0f ms, ratio %.2f; target <= 1.2)\n",
            w, h, content.c_str(), std::string(orv::transfer_name(display)).c_str(), runs,
            eight.wall, ten.wall, ten.wall / eight.wall, eight.processor, ten.processor,
            ten.processor / eight.processor);
    }
    return 0;
}
