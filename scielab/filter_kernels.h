#pragma once
// Opponent-channel filters: kernel files, sampling, sizing, responses, finished sets.
// The trace goes to `trace` (standard output in the application).

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace orv {

constexpr double kernel_sample_angle = 0.01;  // degrees of visual angle per kernel sample

struct ChannelFilter {
    int count = 0;
    std::vector<double> spreads;
    std::vector<double> variances;
    std::vector<double> weights;
    int half_width = 0;
    int length = 0;
    std::vector<double> kernel;
    std::vector<double> response;
};

struct AtdFilters {
    ChannelFilter a;  // luminance, "kernel_L.txt"
    ChannelFilter t;  // red-green, "kernel_RG.txt"
    ChannelFilter d;  // blue-yellow, "kernel_BY.txt"
};

std::vector<double> sample_gaussian(double variance, int half_width);
std::vector<double> build_kernel(const ChannelFilter& filter, int half_width);
// Raises Failure (before allocating) for parameters that cannot make a kernel: no
// components, a variance that is 0 or not finite, a kernel beyond max_kernel_half_width.
// A component narrower than one sample gets half-width 0 rather than -1.
void size_filter(ChannelFilter& filter, std::ostream& trace);
ChannelFilter read_kernel_file(const std::string& path, double sample_angle, std::ostream& trace);
ChannelFilter load_channel_filter(const std::string& path, double sample_angle,
                                  std::ostream& trace);
const std::vector<double>& compute_response(ChannelFilter& filter);
void normalise_response(ChannelFilter& filter);
void resize_kernel(ChannelFilter& filter, int new_half_width);
// Brings the three kernels to the largest half-width of the set (A too, when T or D is
// wider: no filter loses taps), then computes and normalises the three responses. Raises
// Failure for a set that was never loaded or whose kernel is all zero.
void finish_filter_set(AtdFilters& filters);

// Bounds that keep a kernel file from asking for more than memory or time allow.
constexpr std::size_t max_kernel_token_length = 107;
constexpr long long max_kernel_components = 1000;
constexpr int max_kernel_half_width = 10000;  // a spread of about 60 degrees

// read_kernel_file working on text already in memory; `name` stands for the file in messages.
// Refuses (Failure) a count below 1 or above the bound, a spread of 0, a value that is not
// finite, a kernel beyond the bound and a text that ends before the last weight.
ChannelFilter parse_kernel_file(std::istream& in, const std::string& name, double sample_angle,
                                std::ostream& trace);

// variances[i] = ((1 / sample_angle) * spreads[i])^2 for every spread.
void recompute_variances(ChannelFilter& filter, double sample_angle);

// The finished-set invariants for three separate filters.
bool filters_finished(const ChannelFilter& a, const ChannelFilter& t, const ChannelFilter& d);

// True when the set satisfies the finished-set invariants (the pipeline refuses others).
bool filter_set_finished(const AtdFilters& filters);

}  // namespace orv
