#pragma once
// The per-frame S-CIELAB pipeline. Every call measures with the conditions it is given
// (scielab/conditions.h), built once per run; no profile file is read here. Raises
// orv::Failure for unfinished filter sets, conditions outside the filters' reach and frames
// of different sizes.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "colour/colour_types.h"
#include "colour/delta_e.h"
#include "image/pixel_buffer.h"
#include "image/signal_frame.h"
#include "scielab/conditions.h"
#include "scielab/filter_kernels.h"

namespace orv {

// The visual angle of one display pixel under the fixed viewing geometry, in degrees
// (about 0.0145651): the default of every measurement's conditions.
double pixel_angle_degrees();

// The response element (counted from zero frequency) that weights frequency (u, v) of a
// width x height spectrum whose filters have `response_length` elements, for pixels of
// `pixel_angle` degrees.
int frequency_bin(int u, int v, int width, int height, int response_length, double sample_angle,
                  double pixel_angle = pixel_angle_degrees());

void filter_atd_planes(PlanarImage& image, const ChannelFilter& a, const ChannelFilter& t,
                       const ChannelFilter& d, double sample_angle,
                       double pixel_angle = pixel_angle_degrees());

// Nothing happens when `source` is absent; `destination` must have the source's geometry
// (an empty destination is made zero-filled with it). A present `signal` (the source's exact
// values, image/signal_frame.h) is what is filtered in place of the source's 24-bit pixels.
void scielab_filter_frame(const PixelBuffer& source, PixelBuffer& destination,
                          const MeasurementConditions& conditions,
                          const SignalFrame* signal = nullptr);

InterleavedImage scielab_lab_image(const PixelBuffer& source,
                                   const MeasurementConditions& conditions);

// Where one frame pair's filtered planes (three planes of doubles per frame) are kept. The
// two frames are filtered side by side when a core is spare, unless the pair has at least
// `serial_pixels` pixels: then one after the other, so that memory never holds both frames'
// planes (at 16 Mi pixels those six planes alone take 805 MB). Filtered one after the other,
// a pair of at least `park_pixels` pixels parks the reference's planes in a temporary file
// (image/spill_memory.h) while the degraded frame is filtered and reads them back a block of
// rows at a time; 4 Mi pixels (about twice full HD) is where the three planes reach 100 MB,
// while below it writing and reading them back would cost time without a memory problem.
// The values are the same whichever way the planes are kept.
struct PairStorage {
    std::size_t park_pixels = std::size_t{1} << 22;
    std::size_t serial_pixels = std::size_t{1} << 24;
    // Called once a frame's pixels (and exact signal) have been read into its planes, on the
    // thread that read them, and never touched by the pipeline afterwards: a caller that owns
    // the frame and needs it no more frees it there, so that memory does not hold the pair's
    // pixels beside its planes (50 MB of a 3840 x 2160 pair).
    std::function<void()> reference_read;
    std::function<void()> degraded_read;
};

// The difference map of one frame pair with its mean, maximum and minimum (summarise_map),
// by the conditions' formula. When `grey` is given, its grey picture is made as well (an
// absent one is made; a present one must have the frames' geometry), once the planes are gone.
// A frame's exact signal (image/signal_frame.h), when given and present, is measured in place
// of its 24-bit pixels (it must have the frame's size). Each frame goes through its own side's
// colour model (side_colour).
InterleavedImage difference_map(const PixelBuffer& reference, const PixelBuffer& degraded,
                                const MeasurementConditions& conditions, PixelBuffer* grey,
                                const PairStorage& storage = {},
                                const SignalFrame* reference_signal = nullptr,
                                const SignalFrame* degraded_signal = nullptr);

// A reference frame's per-pixel coordinates as the difference map compares them (CIELAB, or
// ICtCp for ΔE ITP; three values a pixel, row by row), made once so that any number of
// degraded frames can be measured against the frame without filtering it again.
struct ReferenceColours {
    int width = 0;
    int height = 0;
    // Whole rows in blocks of at most 2 Mi values (16 MiB): blocks of that size are kept by
    // the heap for the next frame (measure/frame_loop.h, keep_freed_frame_planes), where one
    // block for the whole frame would be mapped afresh for every frame and fault its pages in.
    int block_rows = 1;
    std::vector<std::vector<double>> blocks;

    double* row(int y) {
        return blocks[static_cast<std::size_t>(y / block_rows)].data() +
               3 * static_cast<std::size_t>(y % block_rows) * static_cast<std::size_t>(width);
    }
    const double* row(int y) const { return const_cast<ReferenceColours*>(this)->row(y); }
};

// Made through the reference side's colour model.
ReferenceColours reference_colours(const PixelBuffer& reference,
                                   const MeasurementConditions& conditions,
                                   const SignalFrame* signal = nullptr);

// The difference map of `degraded` against a reference's coordinates made under the same
// conditions, with its mean, maximum and minimum: the same values as difference_map gives for
// the pair. The conditions must be those the coordinates were made with. Raises orv::Failure
// for frames of different sizes. `degraded` goes through the degraded side's colour model.
InterleavedImage difference_map_against(const ReferenceColours& reference,
                                        const PixelBuffer& degraded,
                                        const MeasurementConditions& conditions,
                                        const SignalFrame* degraded_signal = nullptr);

// 1 on success (result replaced, output holds the grey picture; an absent output is made),
// 0 if either input is absent.
int make_difference_image(const PixelBuffer& reference, const PixelBuffer& degraded,
                          PixelBuffer& output, const MeasurementConditions& conditions,
                          InterleavedImage& result, const PairStorage& storage = {});

void scale_to_grey(const double* values, std::size_t count, PixelBuffer& output);

}  // namespace orv
