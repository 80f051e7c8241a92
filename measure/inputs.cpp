#include "measure/inputs.h"

#include <ostream>

#include "numeric/dft.h"
#include "numeric/failure.h"
#include "numeric/parallel.h"

namespace orv {

MeasurementConditions load_conditions(const std::string& folder, int threads, std::ostream& trace,
                                      DeltaEFormula formula, const ViewingGeometry& viewing) {
    MeasurementConditions c;
    // The colour model first, so that a bad profile is refused before any kernel is read.
    c.colour = read_colour_model(folder);
    c.filters = read_kernel_files(folder, kernel_sample_angle, trace);
    // Every level of parallel work (the responses' transforms, the stages of one frame pair)
    // keeps to the threads asked for.
    set_dft_thread_limit(threads);
    set_core_budget(threads);
    finish_filter_set(c.filters);
    c.formula = formula;
    c.viewing = viewing;
    check_conditions(c);
    return c;
}

AtdFilters load_atd_filters(const std::string& folder, int threads, std::ostream& trace) {
    return load_conditions(folder, threads, trace).filters;
}

void check_profile_files(const std::string& folder) { read_colour_model(folder); }

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
