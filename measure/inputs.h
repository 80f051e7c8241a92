#pragma once
// What every measurement front end (orv-cli, the Python module) takes in before the frame
// loop: the finished filter set of a profile-data folder and frames read from BMP files.
// Failures travel as orv::Failure with the texts the batch tool prints.

#include <iosfwd>
#include <string>

#include "image/bmp_file.h"
#include "image/pixel_buffer.h"
#include "scielab/conditions.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The conditions of a run: the colour model of `folder` (read once and checked, so that a bad
// profile is refused before any kernel is read or output written), its three kernel files
// finished as the filter dialog's OK does with the files' values, the formula and the viewing
// geometry (checked against the filters' reach). The filter trace goes to `trace`. The
// responses' direct transforms and every later frame pair use at most `threads` threads.
MeasurementConditions load_conditions(const std::string& folder, int threads, std::ostream& trace,
                                      DeltaEFormula formula = DeltaEFormula::cie94,
                                      const ViewingGeometry& viewing = default_viewing_geometry());

// Checks the profile files of `folder` (check_profile_files), then loads kernel_L.txt,
// kernel_RG.txt and kernel_BY.txt and finishes the set as the filter dialog's OK does with the
// files' values. A bad profile is thus refused before any kernel is read or output written. The
// filter trace goes to `trace`. The responses' direct transforms use at most `threads` threads.
AtdFilters load_atd_filters(const std::string& folder, int threads, std::ostream& trace);

// Reads the display-model file and the three matrix files of `folder` once and checks that
// the colour matrix can be inverted, so that a bad profile is refused before any frame.
void check_profile_files(const std::string& folder);

struct FrameFile {
    PixelBuffer pixels;
    HeaderBlock header;
};

// One BMP frame; "cannot open PATH (...)" or "PATH is not a usable 24- or 8-bit BMP file
// (...)" otherwise.
FrameFile read_frame_file(const std::string& path);

// "frame I: A is WxH but B is WxH; the frames of a pair must have the same size" when the
// two frames of pair `frame` differ in size.
void check_pair_size(int frame, const std::string& reference_path, const PixelBuffer& reference,
                     const std::string& degraded_path, const PixelBuffer& degraded);

}  // namespace orv
