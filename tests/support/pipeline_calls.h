#pragma once
// The pipeline called the way the tests were first written: filters, sample angle and profile
// folder per call. Each call builds the conditions of a one-frame run (the filters checked
// first, then the profile read) and hands them to the pipeline, as every face does once per
// run.

#include <string>

#include "scielab/conditions.h"
#include "scielab/pipeline.h"

namespace orv::test_calls {

inline MeasurementConditions conditions(const AtdFilters& filters, double sample_angle,
                                        const std::string& folder,
                                        DeltaEFormula formula = DeltaEFormula::cie94) {
    MeasurementConditions c;
    c.filters = filters;
    c.sample_angle = sample_angle;
    c.formula = formula;
    check_conditions(c);
    c.colour = read_colour_model(folder);
    return c;
}

inline void scielab_filter_frame(const PixelBuffer& source, PixelBuffer& destination,
                                 const ChannelFilter& a, const ChannelFilter& t,
                                 const ChannelFilter& d, double sample_angle,
                                 const std::string& folder) {
    if (!is_present(source)) return;
    orv::scielab_filter_frame(source, destination,
                              conditions(AtdFilters{a, t, d}, sample_angle, folder));
}

inline InterleavedImage scielab_lab_image(const PixelBuffer& source, const ChannelFilter& a,
                                          const ChannelFilter& t, const ChannelFilter& d,
                                          double sample_angle, const std::string& folder) {
    return orv::scielab_lab_image(source, conditions(AtdFilters{a, t, d}, sample_angle, folder));
}

inline int make_difference_image(const PixelBuffer& reference, const PixelBuffer& degraded,
                                 PixelBuffer& output, double sample_angle,
                                 const AtdFilters& filters, const std::string& folder,
                                 InterleavedImage& result,
                                 DeltaEFormula formula = DeltaEFormula::cie94,
                                 const PairStorage& storage = {}) {
    if (!is_present(reference) || !is_present(degraded)) return 0;
    return orv::make_difference_image(reference, degraded, output,
                                      conditions(filters, sample_angle, folder, formula), result,
                                      storage);
}

}  // namespace orv::test_calls
