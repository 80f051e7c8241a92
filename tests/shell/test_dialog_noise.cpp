// The random-noise dialog: every reference file read again, noise per channel pass seeded by
// the tick count, the clipping and truncation of the noisy bytes.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "image/bmp_file.h"
#include "measure/degradations.h"
#include "resources/dialog_templates.h"
#include "shell/failure_texts.h"
#include "shell/frame_store.h"
#include "shell/noise_dialog.h"
#include "shell/sequences.h"
#include "tests/shell/dialog_fakes.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

namespace n = noise_item;
using test::FakeDialog;
using test::ScriptedPlatform;

struct NoiseDialogTest : ::testing::Test {
    test::TempFolder folder;
    FrameStore store;
    ScriptedPlatform p;
    std::vector<std::string> paths;

    // Frames of `width` x `height`; a grey level gives a uniform frame, -1 the builder's pattern.
    void load_reference(int frames, int width, int height, int grey = -1) {
        for (int k = 0; k < frames; ++k) {
            test::BmpSpec spec;
            spec.width = width;
            spec.height = height;
            if (grey >= 0) {
                spec.pixels.assign(test::source_row_pixels(width, 24) * height,
                                   static_cast<std::uint8_t>(grey));
            }
            const std::string path = folder.file("ref_" + std::to_string(k) + ".bmp");
            test::write_file(path, test::make_bmp(spec));
            paths.push_back(path);
        }
        SequenceLoad load = load_frame_sequence(store, paths, SequenceTable::reference);
        ASSERT_EQ(load.count, frames);
        store.reference_count = frames;
        store.image_loaded = 1;
    }

    void run(const std::string& red, const std::string& green, const std::string& blue) {
        FakeDialog d("RNDNOISE_DLG", store, p.platform);
        d.texts[n::sigma_red] = red;
        d.texts[n::sigma_green] = green;
        d.texts[n::sigma_blue] = blue;
        d.press(item::ok);
        ASSERT_EQ(d.result, item::ok);
    }
};

TEST_F(NoiseDialogTest, OpeningSetsTheThreeEditsToZeroAndCancelChangesNothing) {
    load_reference(1, 4, 3);
    FakeDialog d("RNDNOISE_DLG", store, p.platform);
    for (int id : {n::sigma_red, n::sigma_green, n::sigma_blue}) EXPECT_EQ(d.text(id), "0");
    EXPECT_TRUE(p.repainted_main());
    d.press(item::cancel);
    EXPECT_EQ(d.result, item::cancel);
    EXPECT_FALSE(is_present(store.degraded_pixels[0]));
    EXPECT_EQ(store.degraded_ready, 0);
    EXPECT_EQ(p.tick_calls, 0);
}

TEST_F(NoiseDialogTest, SigmaZeroLeavesEveryByteUnchangedAndSetsCountAndFlag) {
    load_reference(3, 5, 4);  // width 5: one filler byte per row
    FakeDialog d("RNDNOISE_DLG", store, p.platform);
    d.press(item::ok);  // the edits still hold "0"
    EXPECT_EQ(d.result, item::ok);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(store.degraded_pixels[k].bytes, store.reference_pixels[k].bytes) << k;
        EXPECT_EQ(store.frame_stride[k], 16);
        EXPECT_EQ(store.frame_width[k], 5);
        EXPECT_EQ(store.frame_height[k], 4);
    }
    EXPECT_EQ(store.degraded_count, 3);
    EXPECT_EQ(store.degraded_ready, 1);
    EXPECT_EQ(p.tick_calls, 9);  // one seed per channel pass
    EXPECT_TRUE(p.repainted_main());
    ASSERT_FALSE(p.progress.empty());
    EXPECT_EQ(std::get<1>(p.progress.front()), 0);
    EXPECT_EQ(std::get<1>(p.progress.back()), 3);
    EXPECT_EQ(std::get<2>(p.progress.back()), 3);
}

TEST_F(NoiseDialogTest, NegativeAndEmptySigmasCountAsZero) {
    load_reference(1, 6, 3);
    for (const char* text : {"-7", "", "  -0.5e2 ", "-0,5"}) {
        SCOPED_TRACE(text);
        run(text, text, text);
        EXPECT_EQ(store.degraded_pixels[0].bytes, store.reference_pixels[0].bytes);
    }
}

TEST_F(NoiseDialogTest, TextsThatAreNotNumbersAreRefusedByName) {
    load_reference(1, 6, 3);
    const std::pair<int, const char*> fields[] = {{n::sigma_red, "Rチャンネル"},
                                                  {n::sigma_green, "Gチャンネル"},
                                                  {n::sigma_blue, "Bチャンネル"}};
    for (const auto& [id, name] : fields) {
        for (const char* text : {"abc", "12.0abc", "1,2,3"}) {
            SCOPED_TRACE(text);
            p.messages.clear();
            FakeDialog d("RNDNOISE_DLG", store, p.platform);
            d.texts[id] = text;
            d.press(item::ok);
            EXPECT_TRUE(d.open());
            ASSERT_EQ(p.messages.size(), 1u);
            EXPECT_EQ(p.messages[0].text, field_not_number_text(name, text));
            EXPECT_EQ(store.degraded_ready, 0);  // nothing ran
        }
    }
}

TEST_F(NoiseDialogTest, PassesInTheSameTickDrawTheSameNormalValues) {
    load_reference(1, 7, 5, 128);
    p.tick_step = 0;
    run("12", "12", "12,0");
    const PixelBuffer& out = store.degraded_pixels[0];
    int changed = 0;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* px = &out.bytes[static_cast<std::size_t>(y * out.stride + 3 * x)];
            EXPECT_EQ(px[red_byte], px[green_byte]);
            EXPECT_EQ(px[red_byte], px[blue_byte]);
            changed += px[0] != 128;
        }
    }
    EXPECT_GT(changed, 0);

    // A new tick for every pass draws other values.
    p.tick_step = 1;
    run("12", "12", "12");
    int differing = 0;
    for (std::size_t i = 0; i + 2 < out.bytes.size(); i += 3) {
        differing += out.bytes[i] != out.bytes[i + 2];
    }
    EXPECT_GT(differing, 0);
}

// The runtime generator and Box-Muller written out independently of the library.
struct ReferenceGenerator {
    std::uint32_t state;
    bool has_second = false;
    double second = 0.0;
    int rand() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 32767u);
    }
    double next() {
        if (has_second) {
            has_second = false;
            return second;
        }
        double u1;
        do u1 = rand() * 3.051850947599719e-05;
        while (u1 == 0.0);
        const double u2 = rand() * 3.051850947599719e-05;
        const double r = std::sqrt(-2.0 * std::log(u1));
        const double theta = u2 * 6.283185307179586;
        second = r * std::cos(theta);
        has_second = true;
        return r * std::sin(theta);
    }
};

TEST_F(NoiseDialogTest, RedPassAloneFollowsTheRuntimeGeneratorSeededByTheTick) {
    load_reference(1, 5, 3, 128);
    p.tick = 777;
    p.tick_step = 1;
    run("20", "0", "0");
    const PixelBuffer& out = store.degraded_pixels[0];
    const PixelBuffer& in = store.reference_pixels[0];
    ReferenceGenerator g{777};
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const auto at = static_cast<std::size_t>(y * out.stride + 3 * x);
            double v = 128.0 + 20.0 * g.next();
            v = v > 255.0 ? 255.0 : (v < 0.0 ? 0.0 : v);
            EXPECT_EQ(out.bytes[at + red_byte], static_cast<std::uint8_t>(v)) << x << "," << y;
            EXPECT_EQ(out.bytes[at + green_byte], in.bytes[at + green_byte]);
            EXPECT_EQ(out.bytes[at + blue_byte], in.bytes[at + blue_byte]);
        }
        for (int f = out.width * 3; f < out.stride; ++f) {
            EXPECT_EQ(out.bytes[static_cast<std::size_t>(y * out.stride + f)], 0);
        }
    }
}

TEST_F(NoiseDialogTest, EveryRunStartsAgainFromTheReferenceFiles) {
    load_reference(2, 4, 4);
    run("40", "40", "40");
    EXPECT_NE(store.degraded_pixels[1].bytes, store.reference_pixels[1].bytes);
    run("0", "0", "0");
    EXPECT_EQ(store.degraded_pixels[1].bytes, store.reference_pixels[1].bytes);
}

TEST_F(NoiseDialogTest, AnUnreadableFileStopsWithTheReadersMessageAndNoCountOrFlag) {
    load_reference(3, 4, 2);
    std::filesystem::remove(paths[1]);
    FakeDialog d("RNDNOISE_DLG", store, p.platform);
    d.press(item::ok);
    EXPECT_TRUE(d.open());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "ファイルが開けません");
    EXPECT_NE(p.messages[0].caption.find("ref_1.bmp"), std::string::npos);
    EXPECT_EQ(store.degraded_pixels[0].bytes, store.reference_pixels[0].bytes);
    EXPECT_FALSE(is_present(store.degraded_pixels[1]));
    EXPECT_EQ(store.degraded_count, 0);
    EXPECT_EQ(store.degraded_ready, 0);
    ASSERT_FALSE(p.progress.empty());
    EXPECT_EQ(std::get<1>(p.progress.back()), std::get<2>(p.progress.back()));  // closed
}

TEST(NoisyValue, ClipsAtTheEndsAndTruncatesTowardZero) {
    const struct {
        double byte, noise;
        int expected;
    } cases[] = {
        {250, 9.7, 255}, {3, -4.2, 0}, {100, 0.9, 100},
        {100, -0.9, 99}, {0, 0.0, 0},  {255, 0.0, 255},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clip_noisy_value(c.byte + c.noise), c.expected) << c.byte << " + " << c.noise;
    }
}

}  // namespace
}  // namespace orv
