#pragma once
// Degradations: Gaussian RGB noise (reproducing the runtime generator exactly) and the start
// of the external encoder. Shared by the GUI's random-noise dialog and `orv-cli noise`.

#include <cstdint>
#include <functional>
#include <string>

#include "image/pixel_buffer.h"

namespace orv {

// The runtime library's linear congruential generator, with its state held by the caller so
// that frames on different threads never share one.
struct RuntimeRandom {
    std::uint32_t state = 1;
};

constexpr int runtime_rand_max = 32767;

// state = seed.
void runtime_srand(RuntimeRandom& random, std::uint32_t seed);
// state = state * 214013 + 2531011 (mod 2^32); returns (state >> 16) & 32767.
int runtime_rand(RuntimeRandom& random);

// The double nearest 1/32767: rand() times this lies in [0, 1].
constexpr double rand_unit = 3.051850947599719e-05;
constexpr double two_pi = 6.283185307179586;

// Box-Muller normal-deviate generator; one per channel pass.
struct GaussianNoise {
    double first = 0.0;       // first value of the last pair (standard normal)
    double second = 0.0;      // second value of the last pair (standard normal)
    bool has_second = false;  // `second` not yet handed out
    double mean = 0.0;
    double sigma = 0.0;
};

// One deviate with the generator's mean and sigma: the stored second value when there is
// one, otherwise a new pair drawn from `random` and its first value.
double next_gaussian(GaussianNoise& noise, RuntimeRandom& random);

// A noisy channel value as a byte: above 255 gives 255, below 0 (or not a number) gives 0,
// otherwise the value truncated toward zero.
std::uint8_t clip_noisy_value(double value);

// Byte offsets of the channels inside a pixel (blue, green, red order).
constexpr int red_byte = 2;
constexpr int green_byte = 1;
constexpr int blue_byte = 0;

// One channel pass: a fresh generator (mean 0, the given sigma) seeded with `seed`, applied to
// the channel byte of every pixel, rows from the first stored row, pixels left to right.
// Filler bytes are never touched. A negative sigma counts as 0.
void add_channel_noise(PixelBuffer& pixels, int channel_byte, double sigma, std::uint32_t seed);

// Called once before each channel pass for that pass's seed (the millisecond tick count in
// the GUI, a fixed number or the clock in the batch tool).
using SeedSource = std::function<std::uint32_t()>;

// Three passes, red, green, blue, each seeded by its own call of `seed`.
void add_gaussian_noise(PixelBuffer& pixels, double sigma_red, double sigma_green,
                        double sigma_blue, const SeedSource& seed);

// A sigma typed into an edit: the text's leading decimal number (leading blanks skipped; an
// empty text or one that does not start with a number gives 0). Negative values give 0, and
// values too large for a double give the largest double.
double sigma_from_text(const std::string& text);

// The encoder program: folder + separator + "h264" + separator + "SimpleEncoder.exe", passed
// as it stands (no quoting, no arguments).
std::string encoder_path(const std::string& profile_folder);

}  // namespace orv
