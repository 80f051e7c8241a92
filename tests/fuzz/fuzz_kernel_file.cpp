// Feeds arbitrary text to the kernel-file reader and sizes the filter it accepts; narrow
// filters are also finished as a set. Besides the sanitizers' checks it traps when an accepted
// filter breaks the reader's promises (a count within bounds, finite positive variances, a
// kernel of 2h + 1 finite taps) or a finished set breaks the finished-set invariants.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "numeric/failure.h"
#include "scielab/filter_kernels.h"
#include "tests/fuzz/fuzz_support.h"

using orv::fuzz::input_text;
using orv::fuzz::read_or_refused;
using orv::fuzz::refused;
using orv::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in = input_text(data, size);
    std::ostringstream trace;
    auto read = read_or_refused(
        [&] { return orv::parse_kernel_file(in, "fuzz", orv::kernel_sample_angle, trace); });
    if (!read) return 0;
    orv::ChannelFilter& filter = *read;
    require(filter.count >= 1 && filter.count <= orv::max_kernel_components);
    double vmax = 0.0;
    for (double v : filter.variances) {
        require(std::isfinite(v) && v > 0.0);
        vmax = std::max(vmax, v);
    }
    // Sizing costs count x length exponentials; leave the slowest inputs at the reader.
    if (filter.count * (2.0 * std::sqrt(4.0 * std::log(2.0) * vmax) + 1.0) > 2e6) return 0;
    if (refused([&] { orv::size_filter(filter, trace); })) return 0;
    require(filter.half_width >= 0 && filter.half_width <= orv::max_kernel_half_width);
    require(filter.length == 2 * filter.half_width + 1);
    require(filter.kernel.size() == static_cast<std::size_t>(filter.length));
    for (double v : filter.kernel) require(std::isfinite(v));
    // The response costs length squared; finish only narrow filters to keep the runs fast.
    if (filter.half_width > 300) return 0;
    orv::AtdFilters set;
    set.a = filter;
    set.t = filter;
    set.d = filter;
    if (refused([&] { orv::finish_filter_set(set); })) return 0;
    require(orv::filter_set_finished(set));
    return 0;
}
