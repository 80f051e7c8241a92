// The runtime generator, the Box-Muller generator, the channel passes of the noise
// degradation, the sigma text and the encoder command line.

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

#include "image/pixel_buffer.h"
#include "measure/degradations.h"

namespace orv {
namespace {

// A buffer whose every image byte differs from its neighbours; filler bytes stay 0.
PixelBuffer patterned_buffer(int width, int height) {
    PixelBuffer buffer = make_pixel_buffer(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            buffer.bytes[static_cast<std::size_t>(y * buffer.stride + x)] =
                static_cast<std::uint8_t>((37 * x + 101 * y + 11) % 256);
        }
    }
    return buffer;
}

bool is_filler(const PixelBuffer& buffer, std::size_t offset) {
    return static_cast<int>(offset % static_cast<std::size_t>(buffer.stride)) >= buffer.width * 3;
}

// The multiplier's inverse modulo 2^32 (Newton's iteration; the multiplier is odd).
std::uint32_t multiplier_inverse() {
    std::uint32_t x = 214013u;
    for (int i = 0; i < 5; ++i) x *= 2u - 214013u * x;
    return x;
}

TEST(RuntimeRandom, FirstValuesAfterSeedOne) {
    // state 1 -> 2745024 (>> 16 = 41), and so on through the generator's recurrence.
    RuntimeRandom random;
    runtime_srand(random, 1);
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int value : expected) EXPECT_EQ(runtime_rand(random), value);
}

TEST(RuntimeRandom, UnseededGeneratorStartsAsSeedOne) {
    RuntimeRandom unseeded;
    RuntimeRandom seeded;
    runtime_srand(seeded, 1);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(runtime_rand(unseeded), runtime_rand(seeded));
}

TEST(RuntimeRandom, StateWrapsModulo32BitsAndValuesStayInRange) {
    const std::uint32_t seeds[] = {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu, 123456789u};
    for (std::uint32_t seed : seeds) {
        RuntimeRandom random;
        runtime_srand(random, seed);
        std::uint32_t state = seed;
        for (int i = 0; i < 1000; ++i) {
            state = state * 214013u + 2531011u;
            const int value = runtime_rand(random);
            ASSERT_EQ(random.state, state);
            ASSERT_EQ(value, static_cast<int>((state >> 16) & 32767u));
            ASSERT_GE(value, 0);
            ASSERT_LE(value, runtime_rand_max);
        }
    }
}

TEST(RuntimeRandom, SeparateStatesDoNotInterfere) {
    RuntimeRandom a;
    RuntimeRandom b;
    runtime_srand(a, 7);
    runtime_srand(b, 7);
    runtime_rand(a);
    runtime_rand(a);
    RuntimeRandom c;
    runtime_srand(c, 7);
    EXPECT_EQ(runtime_rand(b), runtime_rand(c));
}

TEST(GaussianNoise, HandsOutFirstThenSecondBeforeDrawingAgain) {
    RuntimeRandom random;
    runtime_srand(random, 1);
    GaussianNoise noise;
    noise.sigma = 1.0;

    // First pair from rand() = 41 and 18467.
    const double u1 = 41 * rand_unit;
    const double u2 = 18467 * rand_unit;
    const double r = std::sqrt(-2.0 * std::log(u1));
    EXPECT_EQ(next_gaussian(noise, random), r * std::sin(u2 * two_pi));
    EXPECT_TRUE(noise.has_second);
    const std::uint32_t state_after_pair = random.state;
    EXPECT_EQ(next_gaussian(noise, random), r * std::cos(u2 * two_pi));
    EXPECT_FALSE(noise.has_second);
    EXPECT_EQ(random.state, state_after_pair);  // the second value draws nothing

    // Second pair from rand() = 6334 and 26500.
    const double v1 = 6334 * rand_unit;
    const double v2 = 26500 * rand_unit;
    EXPECT_EQ(next_gaussian(noise, random), std::sqrt(-2.0 * std::log(v1)) * std::sin(v2 * two_pi));
}

TEST(GaussianNoise, ZeroUniformIsDrawnAgain) {
    // Choose the state whose next rand() is 0 (next state 0); the generator must skip it and
    // take the following two values.
    RuntimeRandom random;
    random.state = (0u - 2531011u) * multiplier_inverse();
    RuntimeRandom check = random;
    ASSERT_EQ(runtime_rand(check), 0);
    const int a = runtime_rand(check);
    const int b = runtime_rand(check);
    ASSERT_NE(a, 0);

    GaussianNoise noise;
    noise.sigma = 1.0;
    const double value = next_gaussian(noise, random);
    EXPECT_EQ(value, std::sqrt(-2.0 * std::log(a * rand_unit)) * std::sin(b * rand_unit * two_pi));
    EXPECT_EQ(random.state, check.state);
}

TEST(GaussianNoise, MeanAndSigmaScaleTheSameStandardValues) {
    struct Case {
        double sigma;
        double mean;
    };
    const Case cases[] = {{3.0, 0.0}, {0.5, 10.0}, {0.0, 0.0}, {12.25, -4.0}};
    for (const Case& c : cases) {
        RuntimeRandom unit_random;
        RuntimeRandom scaled_random;
        runtime_srand(unit_random, 4242);
        runtime_srand(scaled_random, 4242);
        GaussianNoise unit;
        unit.sigma = 1.0;
        GaussianNoise scaled;
        scaled.sigma = c.sigma;
        scaled.mean = c.mean;
        for (int i = 0; i < 201; ++i) {
            const double z = next_gaussian(unit, unit_random);
            ASSERT_EQ(next_gaussian(scaled, scaled_random), c.sigma * z + c.mean) << i;
        }
    }
}

TEST(GaussianNoise, StandardValuesLookNormal) {
    RuntimeRandom random;
    runtime_srand(random, 99);
    GaussianNoise noise;
    noise.sigma = 1.0;
    double sum = 0.0;
    double squares = 0.0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const double z = next_gaussian(noise, random);
        ASSERT_TRUE(std::isfinite(z));
        sum += z;
        squares += z * z;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.05);
    EXPECT_NEAR(squares / n, 1.0, 0.05);
}

TEST(NoisyValue, ClipsAndTruncates) {
    struct Case {
        int byte;
        double noise;
        int expected;
    };
    const Case cases[] = {
        {250, 9.7, 255}, {3, -4.2, 0},      {100, 0.9, 100},  {100, -0.9, 99},
        {0, -0.0001, 0}, {255, 0.999, 255}, {254, 0.99, 254}, {0, 0.0, 0},
        {128, 0.0, 128}, {10, 1e300, 255},  {10, -1e300, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clip_noisy_value(c.byte + c.noise), c.expected) << c.byte << " + " << c.noise;
    }
    EXPECT_EQ(clip_noisy_value(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(clip_noisy_value(std::numeric_limits<double>::infinity()), 255);
}

TEST(GaussianNoiseBuffer, ZeroOrNegativeSigmaLeavesEveryByte) {
    const double sigmas[][3] = {{0.0, 0.0, 0.0}, {-1.0, -20.0, 0.0}, {-0.0, 0.0, -1e300}};
    for (const auto& s : sigmas) {
        for (int width : {1, 4, 5, 7}) {
            PixelBuffer buffer = patterned_buffer(width, 3);
            const PixelBuffer original = buffer;
            add_gaussian_noise(buffer, s[0], s[1], s[2], [] { return 12345u; });
            EXPECT_EQ(buffer.bytes, original.bytes) << width;
        }
    }
}

TEST(GaussianNoiseBuffer, EachPassChangesOnlyItsChannelAndNeverTheFiller) {
    struct Case {
        int channel_byte;
        const char* name;
    };
    const Case cases[] = {{red_byte, "red"}, {green_byte, "green"}, {blue_byte, "blue"}};
    for (const Case& c : cases) {
        PixelBuffer buffer = patterned_buffer(7, 5);  // 21 bytes of pixels, 3 filler per row
        const PixelBuffer original = buffer;
        add_channel_noise(buffer, c.channel_byte, 40.0, 777u);
        int changed = 0;
        for (std::size_t i = 0; i < buffer.bytes.size(); ++i) {
            if (is_filler(buffer, i)) {
                EXPECT_EQ(buffer.bytes[i], 0) << c.name << " filler " << i;
                continue;
            }
            const int byte_in_pixel = static_cast<int>((i % buffer.stride) % 3);
            if (byte_in_pixel != c.channel_byte) {
                EXPECT_EQ(buffer.bytes[i], original.bytes[i]) << c.name << " byte " << i;
            } else if (buffer.bytes[i] != original.bytes[i]) {
                ++changed;
            }
        }
        EXPECT_GT(changed, 20) << c.name;
    }
}

TEST(GaussianNoiseBuffer, PassWalksStoredRowsLeftToRightSkippingFiller) {
    // Width 5: 15 pixel bytes and one filler byte per row. The deviates must go to the
    // pixels in stored order, one per pixel, none spent on filler.
    PixelBuffer buffer = make_pixel_buffer(5, 3);
    for (std::size_t i = 0; i < buffer.bytes.size(); ++i) {
        if (!is_filler(buffer, i)) buffer.bytes[i] = 128;
    }
    add_channel_noise(buffer, green_byte, 20.0, 31337u);

    RuntimeRandom random;
    runtime_srand(random, 31337u);
    GaussianNoise noise;
    noise.sigma = 20.0;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const double v = 128 + next_gaussian(noise, random);
            EXPECT_EQ(buffer.bytes[static_cast<std::size_t>(y * buffer.stride + 3 * x + 1)],
                      clip_noisy_value(v))
                << x << "," << y;
        }
    }
}

TEST(GaussianNoiseBuffer, SameSeedGivesSameStandardValuesInEveryPass) {
    // Uniform grey, red and blue with equal sigma, the same seed for all passes: the red and
    // blue bytes of every pixel come out equal; green (sigma 0) stays.
    PixelBuffer buffer = make_pixel_buffer(9, 4);
    for (std::size_t i = 0; i < buffer.bytes.size(); ++i) {
        if (!is_filler(buffer, i)) buffer.bytes[i] = 120;
    }
    int calls = 0;
    add_gaussian_noise(buffer, 15.0, 0.0, 15.0, [&] {
        ++calls;
        return 2024u;
    });
    EXPECT_EQ(calls, 3);
    int differing_from_grey = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 9; ++x) {
            const std::uint8_t* p =
                &buffer.bytes[static_cast<std::size_t>(y * buffer.stride + 3 * x)];
            EXPECT_EQ(p[red_byte], p[blue_byte]);
            EXPECT_EQ(p[green_byte], 120);
            if (p[red_byte] != 120) ++differing_from_grey;
        }
    }
    EXPECT_GT(differing_from_grey, 10);

    // Different seeds per pass: red and blue differ somewhere.
    PixelBuffer other = make_pixel_buffer(9, 4);
    for (std::size_t i = 0; i < other.bytes.size(); ++i) {
        if (!is_filler(other, i)) other.bytes[i] = 120;
    }
    std::uint32_t next_seed = 1;
    add_gaussian_noise(other, 15.0, 0.0, 15.0, [&] { return next_seed++; });
    int unequal = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 9; ++x) {
            const std::uint8_t* p =
                &other.bytes[static_cast<std::size_t>(y * other.stride + 3 * x)];
            if (p[red_byte] != p[blue_byte]) ++unequal;
        }
    }
    EXPECT_GT(unequal, 10);
}

TEST(GaussianNoiseBuffer, SeedsAreTakenRedThenGreenThenBlue) {
    PixelBuffer buffer = make_pixel_buffer(4, 4);
    for (auto& b : buffer.bytes) b = 100;
    std::uint32_t next_seed = 10;
    add_gaussian_noise(buffer, 5.0, 6.0, 7.0, [&] { return next_seed++; });

    PixelBuffer expected = make_pixel_buffer(4, 4);
    for (auto& b : expected.bytes) b = 100;
    add_channel_noise(expected, red_byte, 5.0, 10u);
    add_channel_noise(expected, green_byte, 6.0, 11u);
    add_channel_noise(expected, blue_byte, 7.0, 12u);
    EXPECT_EQ(buffer.bytes, expected.bytes);
}

TEST(SigmaText, LeadingNumberOfTheEditText) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"", 0.0},        {"0", 0.0},      {"12.5", 12.5},  {"  3", 3.0}, {"\t7.25", 7.25},
        {"abc", 0.0},     {"1.5abc", 1.5}, {"1,5", 1.0},    {"-2", 0.0},  {"-0.5", 0.0},
        {"+4", 4.0},      {".5", 0.5},     {"5.", 5.0},     {".", 0.0},   {"1e2", 100.0},
        {"2.5E-1", 0.25}, {"1e", 1.0},     {"1e+", 1.0},    {"1d2", 1.0}, {"nan", 0.0},
        {"inf", 0.0},     {"0x10", 0.0},   {"1e-999", 0.0}, {"- 3", 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sigma_from_text(c.text), c.expected) << '"' << c.text << '"';
    }
    EXPECT_EQ(sigma_from_text("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(sigma_from_text(std::string(400, '9')), std::numeric_limits<double>::max());
    EXPECT_EQ(sigma_from_text("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(EncoderPath, ProgramInTheProfileFoldersH264Subfolder) {
#ifdef _WIN32
    EXPECT_EQ(encoder_path("D:\\prof"), "D:\\prof\\h264\\SimpleEncoder.exe");
    EXPECT_EQ(encoder_path("C:\\my profile"), "C:\\my profile\\h264\\SimpleEncoder.exe");
#else
    EXPECT_EQ(encoder_path("/data/prof"), "/data/prof/h264/SimpleEncoder.exe");
    // Blanks are passed as they stand, without quotes.
    EXPECT_EQ(encoder_path("/my profile"), "/my profile/h264/SimpleEncoder.exe");
    EXPECT_EQ(encoder_path(""), "/h264/SimpleEncoder.exe");
#endif
}

}  // namespace
}  // namespace orv
