#include "measure/inputs.h"

#include <ostream>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/parallel.h"

namespace orv {

AtdFilters load_atd_filters(const std::string& folder, int threads, std::ostream& trace) {
    check_profile_files(folder);
    AtdFilters filters;
    filters.a =
        load_channel_filter(profile_path(folder, "kernel_L.txt"), kernel_sample_angle, trace);
    filters.t =
        load_channel_filter(profile_path(folder, "kernel_RG.txt"), kernel_sample_angle, trace);
    filters.d =
        load_channel_filter(profile_path(folder, "kernel_BY.txt"), kernel_sample_angle, trace);
    // Every level of parallel work (the responses' transforms, the stages of one frame pair)
    // keeps to the threads asked for.
    set_dft_thread_limit(threads);
    set_core_budget(threads);
    finish_filter_set(filters);
    return filters;
}

void check_profile_files(const std::string& folder) {
    read_display_model(profile_path(folder, "DISPGOG_parameter.txt"));
    invert_matrix3(load_rgb_to_atd(folder));
    invert_matrix3(load_xyz_to_atd(folder));
}

FrameFile read_frame_file(const std::string& path) {
    FrameFile frame;
    Failure failure;
    if (read_bmp_frame(path, frame.pixels, frame.header, &failure) <= 0) throw failure;
    return frame;
}

namespace {

std::string size_text(const PixelBuffer& pixels) {
    return std::to_string(pixels.width) + "x" + std::to_string(pixels.height);
}

}  // namespace

void check_pair_size(int frame, const std::string& reference_path, const PixelBuffer& reference,
                     const std::string& degraded_path, const PixelBuffer& degraded) {
    if (reference.width == degraded.width && reference.height == degraded.height) return;
    raise_failure(
        FailureKind::pair_size_mismatch, reference_path,
        {std::to_string(frame), size_text(reference), degraded_path, size_text(degraded)});
}

}  // namespace orv
