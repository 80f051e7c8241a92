// The decoded planes handed out with MediaOptions::keep_planes: raw YUV files, whose bytes are
// the planes themselves, read back sample for sample at their own size and depth (odd sizes
// round the chroma planes up); RGB files and reads without the option hand out none, and the
// 24-bit pixels are the same either way.

#include <gtest/gtest.h>

#include "media/media_sequence.h"
#include "media/media_source.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

TEST(DecodedPlanes, RawFilesReadBackAsStored) {
    struct Case {
        const char* format;
        int width, height;
        int chroma_width, chroma_height;  // 0: an RGB format, no planes
        int depth;
    };
    const Case cases[] = {
        {"yuv420p", 33, 17, 17, 9, 8},   {"yuv422p", 16, 6, 8, 6, 8},
        {"yuv444p", 5, 4, 5, 4, 8},      {"yuv420p10le", 33, 17, 17, 9, 10},
        {"yuv444p12le", 6, 3, 6, 3, 12}, {"rgb24", 8, 4, 0, 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        test::TempFolder temp;
        const int bytes_per_sample = c.depth > 8 ? 2 : 1;
        const std::size_t luma = static_cast<std::size_t>(c.width) * c.height;
        const std::size_t chroma = static_cast<std::size_t>(c.chroma_width) * c.chroma_height;
        const std::size_t frame_bytes =
            c.chroma_width == 0 ? 3 * luma : (luma + 2 * chroma) * bytes_per_sample;
        // Two frames of distinct in-range samples.
        std::vector<std::uint8_t> bytes(2 * frame_bytes);
        const unsigned top = (1u << c.depth) - 1;
        for (std::size_t i = 0; i < bytes.size() / bytes_per_sample; ++i) {
            const unsigned v = static_cast<unsigned>((i * 2654435761u) >> 7) & top;
            if (bytes_per_sample == 1) {
                bytes[i] = static_cast<std::uint8_t>(v);
            } else {
                bytes[2 * i] = static_cast<std::uint8_t>(v & 0xff);
                bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
        const std::string path = temp.file("frames.yuv");
        test::write_bytes(path, bytes);
        MediaOptions options;
        options.raw = RawFormat{c.width, c.height, c.format, 25, 1};
        MediaOptions keeping = options;
        keeping.keep_planes = true;
        MediaSource plain = open_media(path, options), kept = open_media(path, keeping);
        EXPECT_EQ(plain.planes_format, "");
        EXPECT_EQ(kept.planes_format, c.chroma_width == 0 ? "" : c.format);
        for (int frame = 0; frame < 2; ++frame) {
            PixelBuffer a, b;
            HeaderBlock ha, hb;
            ASSERT_TRUE(next_frame(plain, a, ha));
            ASSERT_TRUE(next_frame(kept, b, hb));
            EXPECT_EQ(a.bytes, b.bytes);  // the 24-bit path is untouched
            EXPECT_FALSE(plain.planes.present());
            if (c.chroma_width == 0) {
                EXPECT_FALSE(kept.planes.present());
                continue;
            }
            const DecodedPlanes& planes = kept.planes;
            ASSERT_EQ(planes.planes.size(), 3u);
            EXPECT_EQ(planes.format, c.format);
            EXPECT_EQ(planes.depth, c.depth);
            std::size_t at = frame * frame_bytes;
            for (int p = 0; p < 3; ++p) {
                const DecodedPlane& plane = planes.planes[static_cast<std::size_t>(p)];
                EXPECT_EQ(plane.width, p == 0 ? c.width : c.chroma_width);
                EXPECT_EQ(plane.height, p == 0 ? c.height : c.chroma_height);
                for (std::uint16_t sample : plane.samples) {
                    const unsigned stored =
                        bytes_per_sample == 1 ? bytes[at] : bytes[at] | (bytes[at + 1] << 8);
                    ASSERT_EQ(sample, stored) << "plane " << p;
                    at += bytes_per_sample;
                }
            }
        }
    }
}

TEST(DecodedPlanes, SequencesHandThemOn) {
    test::TempFolder temp;
    const std::string path = temp.file("clip.y4m");
    test::VideoSpec spec;
    spec.container = "yuv4mpegpipe";
    spec.codec = "wrapped_avframe";
    spec.pixel_format = "yuv420p";
    spec.width = 24;
    spec.height = 16;
    ASSERT_EQ(test::write_video(path, spec, 3, test::pattern_frames()), "");
    MediaOptions options;
    options.keep_planes = true;
    MediaSequence sequence = open_media_sequence({{path, options}}, 1);
    ASSERT_EQ(sequence.entries.size(), 1u);
    EXPECT_EQ(sequence.entries[0].planes_format, "yuv420p");
    const SequenceFrame first = read_sequence_frame(sequence, 0);  // frame 1 of the file
    const SequenceFrame last = read_sequence_frame(sequence, 1);
    ASSERT_TRUE(first.planes.present());
    ASSERT_TRUE(last.planes.present());
    EXPECT_EQ(first.planes.planes[1].width, 12);
    EXPECT_NE(first.planes.planes[0].samples, last.planes.planes[0].samples);  // it moves
}

}  // namespace
}  // namespace orv
