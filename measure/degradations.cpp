#include "measure/degradations.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "colour/profile_files.h"
#include "numeric/number_text.h"

namespace orv {

void runtime_srand(RuntimeRandom& random, std::uint32_t seed) { random.state = seed; }

int runtime_rand(RuntimeRandom& random) {
    // Unsigned arithmetic wraps modulo 2^32, which is the generator's definition.
    random.state = random.state * 214013u + 2531011u;
    return static_cast<int>((random.state >> 16) & 32767u);
}

double next_gaussian(GaussianNoise& noise, RuntimeRandom& random) {
    if (noise.has_second) {
        noise.has_second = false;
        return noise.sigma * noise.second + noise.mean;
    }
    double u1 = 0.0;
    do {
        u1 = runtime_rand(random) * rand_unit;
    } while (u1 == 0.0);
    const double u2 = runtime_rand(random) * rand_unit;
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double theta = u2 * two_pi;
    noise.first = r * std::sin(theta);
    noise.second = r * std::cos(theta);
    noise.has_second = true;
    return noise.sigma * noise.first + noise.mean;
}

std::uint8_t clip_noisy_value(double value) {
    if (value > 255.0) return 255;
    if (value < 0.0) return 0;
    if (!(value >= 0.0)) return 0;  // not a number: never converted (that would be undefined)
    return static_cast<std::uint8_t>(value);
}

void add_channel_noise(PixelBuffer& pixels, int channel_byte, double sigma, std::uint32_t seed) {
    if (!(sigma > 0.0)) sigma = 0.0;
    GaussianNoise noise;
    noise.mean = 0.0;
    noise.sigma = sigma;
    noise.has_second = false;
    RuntimeRandom random;
    runtime_srand(random, seed);
    const std::size_t stride = static_cast<std::size_t>(pixels.stride);
    for (int y = 0; y < pixels.height; ++y) {
        std::uint8_t* row = pixels.bytes.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < pixels.width; ++x) {
            std::uint8_t& byte = row[3 * x + channel_byte];
            const double v = byte + next_gaussian(noise, random);
            byte = clip_noisy_value(v);
        }
    }
}

void add_gaussian_noise(PixelBuffer& pixels, double sigma_red, double sigma_green,
                        double sigma_blue, const SeedSource& seed) {
    if (!is_present(pixels)) return;
    add_channel_noise(pixels, red_byte, sigma_red, seed());
    add_channel_noise(pixels, green_byte, sigma_green, seed());
    add_channel_noise(pixels, blue_byte, sigma_blue, seed());
}

double sigma_from_text(const std::string& text) {
    bool negative = false;
    const double value = leading_number(text, "eE", &negative);
    if (negative) return 0.0;
    return value == std::numeric_limits<double>::infinity() ? std::numeric_limits<double>::max()
                                                            : value;
}

std::string encoder_path(const std::string& profile_folder) {
    return profile_path(profile_path(profile_folder, "h264"), "SimpleEncoder.exe");
}

}  // namespace orv
