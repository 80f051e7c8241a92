#include "measure/degradations.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

namespace orv {

namespace {

#ifdef _WIN32
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

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
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t integer_digits = 0;
    std::size_t fraction_digits = 0;
    while (i < text.size() && is_digit(text[i])) {
        ++i;
        ++integer_digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            ++i;
            ++fraction_digits;
        }
    }
    if (integer_digits + fraction_digits == 0) return 0.0;
    const std::size_t mantissa_end = i;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent_negative = text[j] == '-';
            ++j;
        }
        if (j < text.size() && is_digit(text[j])) {
            while (j < text.size() && is_digit(text[j])) {
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (exponent_negative) exponent = -exponent;
            i = j;
        }
    }
    if (negative) return 0.0;

    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + i, value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Decide between overflow and underflow from the decimal magnitude of the text.
        std::string digits;
        for (std::size_t k = start; k < mantissa_end; ++k) {
            if (text[k] != '.') digits += text[k];
        }
        const std::size_t first_nonzero = digits.find_first_not_of('0');
        if (first_nonzero == std::string::npos) return 0.0;
        const long magnitude =
            static_cast<long>(integer_digits) - static_cast<long>(first_nonzero) - 1 + exponent;
        return magnitude > 0 ? std::numeric_limits<double>::max() : 0.0;
    }
    if (error != std::errc()) return 0.0;
    return value;
}

std::string encoder_path(const std::string& profile_folder) {
    std::string path = profile_folder;
    path += path_separator;
    path += "h264";
    path += path_separator;
    path += "SimpleEncoder.exe";
    return path;
}

}  // namespace orv
