// Feeds arbitrary text to the display-model reader. Besides the sanitizers' checks it traps
// when an accepted model breaks the reader's promise (every value finite, every gain non-zero,
// every gamma above 0, a finite forward model) or when the inverse display model of such a model
// yields a byte that the formula would not give.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "colour/conversions.h"
#include "colour/profile_files.h"
#include "numeric/failure.h"
#include "tests/fuzz/fuzz_support.h"

using orv::fuzz::input_text;
using orv::fuzz::read_or_refused;
using orv::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in = input_text(data, size);
    const auto read = read_or_refused([&] { return orv::parse_display_model(in, "fuzz"); });
    if (!read) return 0;
    const orv::GogParameters& gog = *read;
    for (const orv::GogChannel* ch : {&gog.red, &gog.green, &gog.blue}) {
        require(std::isfinite(ch->gain) && std::isfinite(ch->offset) && std::isfinite(ch->gamma));
        require(ch->gain != 0.0 && ch->gamma > 0.0);
    }
    // Forward table: finite, never NaN.
    const orv::DisplayTable table = orv::make_display_table(gog);
    for (const auto& channel : table) {
        for (double v : channel) require(std::isfinite(v));
    }
    // Inverse by look-up equals the formula on a spread of values.
    orv::PixelBuffer out = orv::make_pixel_buffer(64, 1);
    orv::PlanarImage image;
    image.width = 64;
    image.height = 1;
    for (int i = 0; i < 64; ++i) {
        const double u = (i - 4) / 48.0;
        image.planes[0].push_back(u);
        image.planes[1].push_back(table[1][static_cast<std::size_t>(i * 4)]);
        image.planes[2].push_back(u * u * 3);
    }
    const orv::Matrix3 identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    orv::planes_to_display(out, image, gog, identity);
    for (int i = 0; i < 64; ++i) {
        const auto x = static_cast<std::size_t>(i);
        require(out.bytes[3 * x + 2] ==
                orv::inverse_display_byte(image.planes[0][x], gog.red, 1.0 / gog.red.gamma));
        require(out.bytes[3 * x + 1] ==
                orv::inverse_display_byte(image.planes[1][x], gog.green, 1.0 / gog.green.gamma));
        require(out.bytes[3 * x] ==
                orv::inverse_display_byte(image.planes[2][x], gog.blue, 1.0 / gog.blue.gamma));
    }
    return 0;
}
