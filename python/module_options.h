#pragma once
// What the Python module's calls take besides frames: the difference formula and the shares'
// levels, the media options and the display choice, each checked before any work.

#include <optional>
#include <pybind11/pybind11.h>
#include <string>
#include <vector>

#include "colour/delta_e.h"
#include "colour/display_model.h"
#include "measure/display_tags.h"
#include "measure/frame_metrics.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "media/media_text.h"
#include "scielab/conditions.h"

namespace orv {

namespace py = pybind11;

// The display model and primaries as keywords give them (None: the default).
struct DisplayKeywords {
    std::optional<std::string> display;
    std::optional<std::string> primaries;
    std::optional<double> white_luminance;
    std::optional<double> black_luminance;
    std::optional<double> peak_luminance;

    bool given() const {
        return display || primaries || white_luminance || black_luminance || peak_luminance;
    }
};

// The choice the keywords name; raises orv::Failure (orv.Error) for unknown names and
// luminances out of range.
DisplayChoice display_choice(const DisplayKeywords& keywords);

// The keywords naming one side's display: reference_display, reference_primaries,
// degraded_display, degraded_primaries (None: as for both sides).
struct SideKeywords {
    std::optional<std::string> reference_display, reference_primaries;
    std::optional<std::string> degraded_display, degraded_primaries;
};

// Sets each side's display in `conditions` (made from the profile-data folder `folder` with the
// profile's display choice, whose keywords are `profile`): `call` (this call's keywords for both
// sides; when any is given they replace the profile's choice), each side's own keywords over it
// and, where no keyword chose the transfer (or the primaries), the side's own streams' tags
// (when its sequence is given). The colour models are read afresh only when the choice changes.
// orv.Error for unknown names and luminances out of range.
void choose_side_displays(MeasurementConditions& conditions, const std::string& folder,
                          const DisplayKeywords& profile, const DisplayKeywords& call,
                          const SideKeywords& sides, const MediaSequence* reference = nullptr,
                          const MediaSequence* degraded = nullptr);

// What a measurement is asked for besides the frames: the difference formula and the levels of
// the shares above them. Both are checked before any work.
struct Measurement {
    DeltaEFormula formula = DeltaEFormula::cie94;
    std::vector<double> thresholds;
};

// delta_e is 94, 2000, 76 or 'itp'; ValueError otherwise, and for thresholds that are not
// finite numbers of 0 or more.
Measurement measurement(const py::object& delta_e, const std::vector<double>& thresholds);

// PSNR and SSIM asked for: None, "psnr", "ssim", "psnr,ssim" or a sequence of those names;
// orv.Error for any other name.
MetricsRequest metrics_request(const py::object& metrics);
// {column: value} of the figures (an identical plane's PSNR is inf).
py::dict metrics_dict(const std::vector<std::string>& columns, const std::vector<double>& values);

// A threshold as a name suffix: the shortest text that reads back as the same number.
std::string threshold_name(double threshold);

// How files are read: YUV matrix and range overriding the streams' own, and the layout of raw
// files. Names as orv-cli's options take them; anything else is refused before any work.
MediaOptions media_options(const std::optional<std::string>& matrix,
                           const std::optional<std::string>& range,
                           const std::optional<std::string>& size,
                           const std::optional<std::string>& pix_fmt,
                           const std::optional<std::string>& fps);

// The pooled figures under the names of orv-cli's summary.
py::dict pooled_stats(const PooledStatistics& pooled, const Measurement& asked);

// One dict per file of a sequence (role, path, frames, colour): what was read and how its
// pixels became RGB.
py::list describe_inputs(const MediaSequence& sequence, const char* role);

}  // namespace orv
