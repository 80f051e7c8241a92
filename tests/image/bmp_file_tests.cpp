#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "image/bmp_file.h"
#include "image/bmp_file_internal.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/sanitizer.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using test::BmpSpec;
using test::Bytes;

// Values that show whether the reader wrote its out records.
PixelBuffer sentinel_pixels() {
    return PixelBuffer{7, 7, 24, SpillVector<std::uint8_t>(24 * 7, 0x77)};
}
HeaderBlock sentinel_header() { return HeaderBlock(44, 0x66); }

int read_bytes(const Bytes& file, PixelBuffer& pixels, HeaderBlock& header, Failure* message) {
    return read_bmp_bytes(file.data(), file.size(), "mem.bmp", pixels, header, message);
}

// The 40-byte information header of a built file as the header block should hold it.
Bytes expected_block(const Bytes& file) {
    Bytes block(file.begin() + 14, file.begin() + 54);
    test::put_u32(block, 0, 40);
    test::put_u16(block, 14, 24);
    block.insert(block.end(), 4, 0);
    return block;
}

// --- Layouts of accepted files ---------------------------------------------------------

struct LayoutCase {
    const char* name;
    int width;
    int height;
    int bits;
    std::uint8_t filler;
    std::size_t source_row;
    int stride;
};

// Parameters print as their case name (not as raw bytes) in test listings.
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }
class ReadLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(ReadLayout, RowsStrideAndFillerFollowTheFrameLayout) {
    const LayoutCase& c = GetParam();
    BmpSpec spec;
    spec.width = c.width;
    spec.height = c.height;
    spec.bits_per_pixel = c.bits;
    spec.filler = c.filler;
    ASSERT_EQ(test::source_row_bytes(c.width, c.bits), c.source_row);
    const Bytes file = test::make_bmp(spec);

    PixelBuffer pixels;
    HeaderBlock header;
    Failure message;
    ASSERT_EQ(read_bytes(file, pixels, header, &message), c.stride) << failure_text(message);
    EXPECT_EQ(pixels.width, c.width);
    EXPECT_EQ(pixels.height, c.height);
    EXPECT_EQ(pixels.stride, c.stride);
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec));  // filler bytes 0 included
    EXPECT_EQ(header, expected_block(file));
    EXPECT_EQ(header_width(header), c.width);
    EXPECT_EQ(header_height(header), c.height);
}

INSTANTIATE_TEST_SUITE_P(Frames, ReadLayout,
                         testing::Values(LayoutCase{"w3_24bit", 3, 2, 24, 0xFF, 12, 12},
                                         LayoutCase{"w5_24bit", 5, 3, 24, 0xAB, 16, 16},
                                         LayoutCase{"w1_24bit", 1, 4, 24, 0xFF, 4, 4},
                                         LayoutCase{"w4_24bit", 4, 1, 24, 0xFF, 12, 12},
                                         LayoutCase{"w5_8bit", 5, 3, 8, 0xFF, 8, 16},
                                         LayoutCase{"w1_8bit", 1, 2, 8, 0xCD, 4, 4},
                                         LayoutCase{"w7_8bit", 7, 2, 8, 0xCD, 8, 24},
                                         LayoutCase{"w8_8bit", 8, 2, 8, 0xCD, 8, 24}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadBmp, EightBitPixelsTakeTheirColourTableEntries) {
    BmpSpec spec;
    spec.width = 5;
    spec.height = 1;
    spec.bits_per_pixel = 8;
    spec.colour_table = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};
    spec.colours_used = 3;
    spec.pixels = {2, 0, 1, 1, 2};
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_EQ(read_bytes(test::make_bmp(spec), pixels, header, nullptr), 16);
    const Bytes expected = {100, 110, 120, 1, 2, 3, 10, 20, 30, 10, 20, 30, 100, 110, 120, 0};
    EXPECT_EQ(pixels.bytes, expected);
}

// Longer information headers: the block holds 40 bytes and says so, and an 8-bit file's
// colour table is found after the whole header (the builder puts a marker pattern in the
// fields beyond 40 bytes, which would show up as colours if read as the table).
struct HeaderSizeCase {
    std::uint32_t header_size;
    int bits;
};

void PrintTo(const HeaderSizeCase& c, std::ostream* os) {
    *os << c.header_size << " bytes, " << c.bits << " bits";
}
class ReadLongHeader : public testing::TestWithParam<HeaderSizeCase> {};

TEST_P(ReadLongHeader, BlockAnnouncesFortyBytesAndTableFollowsTheHeader) {
    BmpSpec spec;
    spec.width = 5;
    spec.height = 2;
    spec.header_size = GetParam().header_size;
    spec.bits_per_pixel = GetParam().bits;
    const Bytes file = test::make_bmp(spec);
    PixelBuffer pixels;
    HeaderBlock header;
    Failure message;
    ASSERT_EQ(read_bytes(file, pixels, header, &message), 16) << failure_text(message);
    EXPECT_EQ(test::get_u32(header, 0), 40u);
    EXPECT_EQ(header, expected_block(file));
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec));
}

INSTANTIATE_TEST_SUITE_P(Frames, ReadLongHeader,
                         testing::Values(HeaderSizeCase{40, 8}, HeaderSizeCase{52, 8},
                                         HeaderSizeCase{64, 24}, HeaderSizeCase{64, 8},
                                         HeaderSizeCase{108, 24}, HeaderSizeCase{108, 8},
                                         HeaderSizeCase{124, 24}, HeaderSizeCase{124, 8}),
                         [](const auto& info) {
                             return "size" + std::to_string(info.param.header_size) + "_bits" +
                                    std::to_string(info.param.bits);
                         });

TEST(ReadBmp, FileLongerThanItsPixelsAndLastRowWithoutFillerAreRead) {
    BmpSpec spec;
    spec.width = 5;
    spec.height = 2;
    spec.omit_last_filler = true;
    Bytes file = test::make_bmp(spec);
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_EQ(read_bytes(file, pixels, header, nullptr), 16);
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec));
    file.insert(file.end(), 9, 0x42);
    ASSERT_EQ(read_bytes(file, pixels, header, nullptr), 16);
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec));
}

// --- Refused files -----------------------------------------------------------------------

struct RefusedCase {
    const char* name;
    std::function<Bytes()> file;
    FailureKind kind;
};

BmpSpec spec_with(const std::function<void(BmpSpec&)>& change) {
    BmpSpec spec;
    change(spec);
    return spec;
}

Bytes built(const std::function<void(BmpSpec&)>& change) {
    return test::make_bmp(spec_with(change));
}

Bytes patched(const std::function<void(BmpSpec&)>& change, std::size_t offset,
              std::uint32_t value) {
    Bytes file = built(change);
    test::put_u32(file, offset, value);
    return file;
}

const auto nothing = [](BmpSpec&) {};

// Parameters print as their case name (not as raw bytes) in test listings.
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
class ReadRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(ReadRefused, GivesMinusTwoAndItsTextAndLeavesTheOutValues) {
    const RefusedCase& c = GetParam();
    const Bytes file = c.file();
    PixelBuffer pixels = sentinel_pixels();
    HeaderBlock header = sentinel_header();
    Failure message;
    EXPECT_EQ(read_bytes(file, pixels, header, &message), -2);
    EXPECT_EQ(message.kind, c.kind);
    EXPECT_EQ(message.path, "mem.bmp");
    EXPECT_EQ(pixels.bytes, sentinel_pixels().bytes);
    EXPECT_EQ(pixels.stride, 24);
    EXPECT_EQ(header, sentinel_header());

    // The same file on disk (read headers first) gets the same answer.
    test::TempFolder folder;
    test::write_file(folder.file("f.bmp"), file);
    Failure from_file;
    EXPECT_EQ(read_bmp_frame(folder.file("f.bmp"), pixels, header, &from_file), -2);
    EXPECT_EQ(from_file.kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReadRefused,
    testing::Values(
        RefusedCase{"empty_file", [] { return Bytes{}; }, FailureKind::not_a_bmp},
        RefusedCase{"one_byte", [] { return Bytes{'B'}; }, FailureKind::not_a_bmp},
        RefusedCase{"signature_BA",
                    [] { return built([](BmpSpec& s) {
                             s.signature = {'B', 'A'};
                         }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"signature_lower_bm",
                    [] { return built([](BmpSpec& s) {
                             s.signature = {'b', 'm'};
                         }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"bits_1", [] { return built([](BmpSpec& s) { s.bits_per_pixel = 1; }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"bits_4", [] { return built([](BmpSpec& s) { s.bits_per_pixel = 4; }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"bits_16", [] { return built([](BmpSpec& s) { s.bits_per_pixel = 16; }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"bits_32", [] { return built([](BmpSpec& s) { s.bits_per_pixel = 32; }); },
                    FailureKind::not_a_bmp},
        RefusedCase{"signature_only",
                    [] {
                        return Bytes{'B', 'M'};
                    },
                    FailureKind::bmp_truncated_header},
        RefusedCase{"cut_inside_info_header",
                    [] {
                        Bytes f = built(nothing);
                        f.resize(40);
                        return f;
                    },
                    FailureKind::bmp_truncated_header},
        RefusedCase{"cut_inside_long_header",
                    [] {
                        Bytes f = built([](BmpSpec& s) { s.header_size = 124; });
                        f.resize(100);
                        return f;
                    },
                    FailureKind::bmp_truncated_header},
        RefusedCase{"header_size_huge", [] { return patched(nothing, 14, 0xFFFFFFFFu); },
                    FailureKind::bmp_truncated_header},
        RefusedCase{"core_header_24bit",
                    [] { return built([](BmpSpec& s) { s.header_size = 12; }); },
                    FailureKind::bmp_header_format},
        RefusedCase{"core_header_8bit",
                    [] {
                        return built([](BmpSpec& s) {
                            s.header_size = 12;
                            s.bits_per_pixel = 8;
                        });
                    },
                    FailureKind::bmp_header_format},
        RefusedCase{"header_size_16", [] { return patched(nothing, 14, 16); },
                    FailureKind::bmp_header_format},
        RefusedCase{"rle8",
                    [] {
                        return built([](BmpSpec& s) {
                            s.bits_per_pixel = 8;
                            s.compression = 1;
                        });
                    },
                    FailureKind::bmp_compressed},
        RefusedCase{"bitfields_24bit", [] { return built([](BmpSpec& s) { s.compression = 3; }); },
                    FailureKind::bmp_compressed},
        RefusedCase{"jpeg_inside", [] { return built([](BmpSpec& s) { s.compression = 4; }); },
                    FailureKind::bmp_compressed},
        RefusedCase{"width_0", [] { return patched(nothing, 18, 0); }, FailureKind::bmp_bad_size},
        RefusedCase{"width_negative",
                    [] { return patched(nothing, 18, static_cast<std::uint32_t>(-4)); },
                    FailureKind::bmp_bad_size},
        RefusedCase{"height_0", [] { return patched(nothing, 22, 0); }, FailureKind::bmp_bad_size},
        RefusedCase{"top_down_24bit", [] { return built([](BmpSpec& s) { s.top_down = true; }); },
                    FailureKind::bmp_top_down},
        RefusedCase{"top_down_8bit",
                    [] {
                        return built([](BmpSpec& s) {
                            s.top_down = true;
                            s.bits_per_pixel = 8;
                        });
                    },
                    FailureKind::bmp_top_down},
        RefusedCase{"width_max_int", [] { return patched(nothing, 18, 0x7FFFFFFFu); },
                    FailureKind::bmp_too_large},
        RefusedCase{"frame_over_two_gigabytes",
                    [] {
                        Bytes f = patched(nothing, 18, 30000);
                        test::put_u32(f, 22, 30000);
                        return f;
                    },
                    FailureKind::bmp_too_large},
        RefusedCase{"large_frame_small_file",  // 1.2 GB frame announced by a tiny file
                    [] {
                        Bytes f = patched(nothing, 18, 20000);
                        test::put_u32(f, 22, 20000);
                        return f;
                    },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{"height_max_int", [] { return patched(nothing, 22, 0x7FFFFFFFu); },
                    FailureKind::bmp_too_large},
        RefusedCase{"pixel_offset_past_end", [] { return patched(nothing, 10, 5000); },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{"pixel_offset_max", [] { return patched(nothing, 10, 0xFFFFFFFFu); },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{"pixel_offset_inside_headers", [] { return patched(nothing, 10, 20); },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{"last_row_cut",
                    [] {
                        Bytes f = built(nothing);
                        f.pop_back();
                        return f;
                    },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{"height_larger_than_data", [] { return patched(nothing, 22, 4); },
                    FailureKind::bmp_truncated_pixels},
        RefusedCase{
            "index_past_announced_table",
            [] {
                return built([](BmpSpec& s) {
                    s.bits_per_pixel = 8;
                    s.width = 5;
                    s.height = 1;
                    s.colour_table = {{1, 1, 1, 0}, {2, 2, 2, 0}, {3, 3, 3, 0}, {4, 4, 4, 0}};
                    s.colours_used = 4;
                    s.pixels = {0, 1, 2, 3, 4};
                });
            },
            FailureKind::bmp_bad_colour_index},
        RefusedCase{"index_past_stored_table",  // announces 256 entries, stores 2
                    [] {
                        return built([](BmpSpec& s) {
                            s.bits_per_pixel = 8;
                            s.width = 3;
                            s.height = 1;
                            s.colour_table = {{1, 1, 1, 0}, {2, 2, 2, 0}};
                            s.pixels = {1, 0, 2};
                        });
                    },
                    FailureKind::bmp_bad_colour_index},
        RefusedCase{"index_255_with_16_colours",
                    [] {
                        return built([](BmpSpec& s) {
                            s.bits_per_pixel = 8;
                            s.width = 2;
                            s.height = 2;
                            s.colours_used = 16;
                            s.pixels = {0, 1, 2, 255};
                        });
                    },
                    FailureKind::bmp_bad_colour_index},
        RefusedCase{"eight_bit_without_table",
                    [] {
                        return built([](BmpSpec& s) {
                            s.bits_per_pixel = 8;
                            s.write_colour_table = false;
                        });
                    },
                    FailureKind::bmp_bad_colour_table}),
    [](const auto& info) { return std::string(info.param.name); });

// Every prefix of small valid files: never a read outside the bytes (the sanitizer build
// checks), and either refused without touching the out values or read correctly.
TEST(ReadBmp, EveryTruncationIsRefusedOrReadCorrectly) {
    const std::vector<BmpSpec> specs = {
        spec_with([](BmpSpec& s) {
            s.width = 5;
            s.height = 3;
            s.filler = 0xFF;
        }),
        spec_with([](BmpSpec& s) {
            s.width = 5;
            s.height = 3;
            s.bits_per_pixel = 8;
            s.colours_used = 20;
            s.colour_table.assign(20, {9, 8, 7, 0});
            s.filler = 0xFF;
        }),
        spec_with([](BmpSpec& s) {
            s.width = 3;
            s.height = 2;
            s.header_size = 124;
            s.gap = 6;
        }),
    };
    for (const BmpSpec& spec : specs) {
        const Bytes file = test::make_bmp(spec);
        const std::size_t last_filler = test::source_row_bytes(spec.width, spec.bits_per_pixel) -
                                        test::source_row_pixels(spec.width, spec.bits_per_pixel);
        for (std::size_t size = 0; size < file.size(); ++size) {
            const Bytes prefix(file.begin(), file.begin() + size);
            PixelBuffer pixels = sentinel_pixels();
            HeaderBlock header = sentinel_header();
            const int result = read_bytes(prefix, pixels, header, nullptr);
            if (size >= file.size() - last_filler) {
                EXPECT_GT(result, 0) << size;
                EXPECT_EQ(pixels.bytes, test::expected_frame(spec)) << size;
            } else {
                EXPECT_EQ(result, -2) << size;
                EXPECT_EQ(pixels.bytes, sentinel_pixels().bytes) << size;
                EXPECT_EQ(header, sentinel_header()) << size;
            }
        }
    }
}

// --- Files on disk ----------------------------------------------------------------------

TEST(ReadBmpFrame, ReadsAFileAndReportsUnopenablePaths) {
    test::TempFolder folder;
    BmpSpec spec;
    spec.width = 5;
    const std::string path = folder.file("frame.bmp");
    test::write_file(path, test::make_bmp(spec));
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_EQ(read_bmp_frame(path, pixels, header), 16);
    EXPECT_EQ(pixels.bytes, test::expected_frame(spec));

    ASSERT_EQ(::mkfifo(folder.file("pipe.bmp").c_str(), 0600), 0);
    for (const std::string& bad : {folder.file("missing.bmp"), folder.path.string(),
                                   folder.file("pipe.bmp"), std::string()}) {
        PixelBuffer untouched = sentinel_pixels();
        HeaderBlock kept = sentinel_header();
        Failure message;
        EXPECT_EQ(read_bmp_frame(bad, untouched, kept, &message), -1) << bad;
        EXPECT_EQ(message.kind, FailureKind::cannot_open);
        EXPECT_EQ(message.path, bad);
        EXPECT_EQ(untouched.bytes, sentinel_pixels().bytes);
        EXPECT_EQ(kept, sentinel_header());
    }
}

// A file far larger than its frame (sparse, so it takes no room on disk): only the bytes the
// frame needs are read and held.
TEST(ReadBmpFrame, ReadsOnlyTheBytesTheHeadersAnnounce) {
    test::TempFolder folder;
    const std::uint64_t huge = 8ULL << 30;
    BmpSpec spec;
    spec.width = 5;
    const std::vector<std::pair<Bytes, int>> cases = {
        {test::make_bmp(spec), 16},
        {patched(nothing, 14, 0xFFFFFFF0u), -2},  // a 4 GB information header
        {patched(nothing, 28, 16), -2},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string path = folder.file("big" + std::to_string(i) + ".bmp");
        test::write_file(path, cases[i].first);
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(huge)), 0);
        PixelBuffer pixels;
        HeaderBlock header;
        Failure message;
        EXPECT_EQ(read_bmp_frame(path, pixels, header, &message), cases[i].second) << i;
        if (cases[i].second > 0) {
            EXPECT_EQ(pixels.bytes, test::expected_frame(spec));
        }
    }
}

// Run as the superuser, the read happens in a child process that has given up its rights
// (permissions do not bind the superuser).
TEST(ReadBmpFrame, FileWithoutReadPermissionCannotBeOpened) {
    test::TempFolder folder;
    const std::string path = folder.file("locked.bmp");
    test::write_file(path, test::make_bmp(BmpSpec{}));
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    ASSERT_EQ(::chmod(folder.path.c_str(), 0755), 0);
    auto attempt = [&] {
        PixelBuffer pixels;
        HeaderBlock header;
        Failure message;
        const int result = read_bmp_frame(path, pixels, header, &message);
        return result == -1 && message.kind == FailureKind::cannot_open && !is_present(pixels);
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(attempt());
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(!dropped ? 2 : attempt() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot give up the superuser's rights";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A well-formed file whose frame (675 MB, sparse on disk) is more than the process may
// allocate: the read is refused with its own text instead of ending the program, and the out
// records are left alone. Run in a child whose address space is limited.
TEST(ReadBmpFrame, FrameLargerThanTheMemoryLeftIsRefused) {
#ifdef ORV_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
    test::TempFolder folder;
    const std::string path = folder.file("large.bmp");
    BmpSpec spec;
    spec.width = 1;
    spec.height = 1;
    Bytes file = test::make_bmp(spec);
    const std::uint32_t side = 15000;
    const std::uint64_t pixel_bytes = std::uint64_t{side} * 3 * side;
    test::put_u32(file, 18, side);
    test::put_u32(file, 22, side);
    test::put_u32(file, 34, static_cast<std::uint32_t>(pixel_bytes));
    test::put_u32(file, 2, static_cast<std::uint32_t>(54 + pixel_bytes));
    file.resize(54);
    test::write_file(path, file);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(54 + pixel_bytes)), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{256u << 20, 256u << 20};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
        PixelBuffer pixels = sentinel_pixels();
        HeaderBlock header = sentinel_header();
        Failure message;
        const int result = read_bmp_frame(path, pixels, header, &message);
        const bool ok = result == -2 && message.kind == FailureKind::bmp_out_of_memory &&
                        message.path == path && pixels.bytes == sentinel_pixels().bytes &&
                        header == sentinel_header();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot limit the address space";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(ReadBmpFrame, NonAsciiPathsAreReadAndWritten) {
    test::TempFolder folder;
    std::filesystem::create_directory(folder.path / "画像 フォルダ");
    const std::string source = folder.file("画像 フォルダ/原画像①.bmp");
    BmpSpec spec;
    spec.width = 3;
    test::write_file(source, test::make_bmp(spec));
    PixelBuffer pixels;
    HeaderBlock header;
    Failure message;
    ASSERT_EQ(read_bmp_frame(source, pixels, header, &message), 12) << failure_text(message);
    const std::string copy = folder.file("画像 フォルダ/劣化画像_0000.bmp");
    ASSERT_EQ(write_bmp_frame(copy, pixels, header, &message), 0) << failure_text(message);
    PixelBuffer again;
    HeaderBlock again_header;
    ASSERT_EQ(read_bmp_frame(copy, again, again_header), 12);
    EXPECT_EQ(again.bytes, pixels.bytes);
}

// --- Writing ----------------------------------------------------------------------------

struct RoundTripCase {
    const char* name;
    BmpSpec spec;
};

// Parameters print as their case name (not as raw bytes) in test listings.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }
class WriteRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(WriteRoundTrip, WrittenFileHoldsTheInformationHeaderAndZeroFiller) {
    const BmpSpec& spec = GetParam().spec;
    const Bytes source = test::make_bmp(spec);
    PixelBuffer pixels;
    HeaderBlock header;
    const int stride = read_bytes(source, pixels, header, nullptr);
    ASSERT_GT(stride, 0);

    test::TempFolder folder;
    const std::string path = folder.file("out.bmp");
    ASSERT_EQ(write_bmp_frame(path, pixels, header), 0);
    const Bytes written = test::read_file(path);
    const std::size_t pixel_bytes = static_cast<std::size_t>(stride) * spec.height;
    ASSERT_EQ(written.size(), 54 + pixel_bytes);
    EXPECT_EQ(written[0], 'B');
    EXPECT_EQ(written[1], 'M');
    EXPECT_EQ(test::get_u32(written, 2), 54 + pixel_bytes);
    EXPECT_EQ(test::get_u32(written, 6), 0u);  // both reserved fields
    EXPECT_EQ(test::get_u32(written, 10), 54u);
    EXPECT_EQ(Bytes(written.begin() + 14, written.begin() + 54),
              Bytes(header.begin(), header.begin() + 40));
    EXPECT_EQ(Bytes(written.begin() + 54, written.end()), test::expected_frame(spec));

    Bytes source_info(source.begin() + 14, source.begin() + 54);
    test::put_u32(source_info, 0, 40);
    test::put_u16(source_info, 14, 24);
    EXPECT_EQ(Bytes(written.begin() + 14, written.begin() + 54), source_info);
    if (spec.bits_per_pixel == 24 && spec.header_size == 40) {
        EXPECT_EQ(Bytes(written.begin() + 14, written.begin() + 54),
                  Bytes(source.begin() + 14, source.begin() + 54));
    }
}

BmpSpec round_trip_spec(int width, int bits, std::size_t gap, std::uint8_t filler,
                        std::uint32_t header_size = 40) {
    BmpSpec spec;
    spec.width = width;
    spec.height = 3;
    spec.bits_per_pixel = bits;
    spec.gap = gap;
    spec.filler = filler;
    spec.header_size = header_size;
    spec.x_resolution = 3780;
    spec.y_resolution = 1234;
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WriteRoundTrip,
    testing::Values(RoundTripCase{"w3", round_trip_spec(3, 24, 0, 0)},
                    RoundTripCase{"w5_filler_nonzero", round_trip_spec(5, 24, 0, 0xAB)},
                    RoundTripCase{"extra_bytes_before_pixels", round_trip_spec(5, 24, 10, 0xFF)},
                    RoundTripCase{"long_header_and_gap", round_trip_spec(6, 24, 3, 0x11, 108)},
                    RoundTripCase{"widened_8bit", round_trip_spec(5, 8, 0, 0xFF)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteBmp, WidenedEightBitFrameKeepsImageSizeAndColourCounts) {
    BmpSpec spec = round_trip_spec(5, 8, 0, 0);
    spec.colour_table.assign(16, {50, 60, 70, 0});
    spec.colours_used = 16;
    spec.colours_important = 5;
    spec.image_size = 24;
    PixelBuffer pixels;
    HeaderBlock header;
    ASSERT_EQ(read_bytes(test::make_bmp(spec), pixels, header, nullptr), 16);
    test::TempFolder folder;
    ASSERT_EQ(write_bmp_frame(folder.file("w.bmp"), pixels, header), 0);
    const Bytes written = test::read_file(folder.file("w.bmp"));
    EXPECT_EQ(test::get_u16(written, 28), 24);
    EXPECT_EQ(test::get_u32(written, 34), 24u);
    EXPECT_EQ(test::get_u32(written, 46), 16u);
    EXPECT_EQ(test::get_u32(written, 50), 5u);
    EXPECT_EQ(written.size(), 54u + 16 * 3);  // no colour table, 24-bit rows
    PixelBuffer again;
    HeaderBlock again_header;
    ASSERT_EQ(read_bmp_frame(folder.file("w.bmp"), again, again_header), 16);
    EXPECT_EQ(again.bytes, pixels.bytes);
}

struct Frame {
    PixelBuffer pixels;
    HeaderBlock header;
};

Frame frame_from(const BmpSpec& spec) {
    Frame frame;
    EXPECT_GT(read_bytes(test::make_bmp(spec), frame.pixels, frame.header, nullptr), 0);
    return frame;
}

TEST(WriteBmp, NeverTouchesAnExistingFile) {
    test::TempFolder folder;
    const std::string path = folder.file("taken.bmp");
    const Bytes old_content = {'k', 'e', 'e', 'p'};
    test::write_file(path, old_content);
    const Frame frame = frame_from(BmpSpec{});
    Failure message;
    EXPECT_EQ(write_bmp_frame(path, frame.pixels, frame.header, &message), -2);
    EXPECT_EQ(message.kind, FailureKind::file_exists);
    EXPECT_EQ(message.path, path);
    EXPECT_EQ(test::read_file(path), old_content);

    // A folder of the name is refused the same way; a missing folder is not "already exists".
    std::filesystem::create_directory(folder.path / "dir.bmp");
    EXPECT_EQ(write_bmp_frame(folder.file("dir.bmp"), frame.pixels, frame.header, &message), -2);
    EXPECT_EQ(message.kind, FailureKind::file_exists);
    const std::string nowhere = folder.file("no/such/folder.bmp");
    EXPECT_EQ(write_bmp_frame(nowhere, frame.pixels, frame.header, &message), -2);
    EXPECT_EQ(message.kind, FailureKind::cannot_create);
    EXPECT_EQ(message.path, nowhere);
    EXPECT_EQ(message.reason, std::strerror(ENOENT));
}

// Short and failing writes (a full disk): -2, the write-failed text, and no file left.
struct ShortWriteCase {
    const char* name;
    long long fail_after;  // bytes accepted before the sink fails
    long long chunk;       // most bytes taken per call
    bool returns_zero;     // the failing call returns 0 instead of -1 with ENOSPC
};

// Parameters print as their case name (not as raw bytes) in test listings.
void PrintTo(const ShortWriteCase& c, std::ostream* os) { *os << c.name; }
class WriteShort : public testing::TestWithParam<ShortWriteCase> {};

TEST_P(WriteShort, LeavesNoPartialFile) {
    const ShortWriteCase& c = GetParam();
    test::TempFolder folder;
    const std::string path = folder.file("full.bmp");
    const Frame frame = frame_from(round_trip_spec(5, 24, 0, 0));
    long long accepted = 0;
    const WriteBytes sink = [&](int fd, const std::uint8_t* data, std::size_t size) -> long long {
        long long n = std::min<long long>(static_cast<long long>(size), c.chunk);
        n = std::min(n, c.fail_after - accepted);
        if (n <= 0) {
            if (c.returns_zero) return 0;
            errno = ENOSPC;
            return -1;
        }
        accepted += n;
        return ::write(fd, data, static_cast<std::size_t>(n));
    };
    Failure message;
    EXPECT_EQ(write_bmp_frame_with(path, frame.pixels, frame.header, &message, sink), -2);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(message.kind, FailureKind::cannot_write);
    EXPECT_EQ(message.path, path);
    // The system's reason where it gave one.
    EXPECT_EQ(message.reason, c.returns_zero ? "" : std::strerror(ENOSPC));
}

INSTANTIATE_TEST_SUITE_P(Frames, WriteShort,
                         testing::Values(ShortWriteCase{"first_call", 0, 1 << 20, false},
                                         ShortWriteCase{"inside_file_header", 7, 1 << 20, false},
                                         ShortWriteCase{"inside_pixels", 60, 1 << 20, false},
                                         ShortWriteCase{"last_byte", 54 + 48 - 1, 5, false},
                                         ShortWriteCase{"zero_return", 30, 4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriteBmp, PartialWritesThatGoOnGiveTheWholeFile) {
    test::TempFolder folder;
    const Frame frame = frame_from(round_trip_spec(5, 24, 0, 0));
    ASSERT_EQ(write_bmp_frame(folder.file("a.bmp"), frame.pixels, frame.header), 0);
    int calls = 0;
    const WriteBytes one_byte = [&](int fd, const std::uint8_t* data, std::size_t) -> long long {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, data, 1);
    };
    ASSERT_EQ(
        write_bmp_frame_with(folder.file("b.bmp"), frame.pixels, frame.header, nullptr, one_byte),
        0);
    EXPECT_EQ(test::read_file(folder.file("b.bmp")), test::read_file(folder.file("a.bmp")));
}

struct BadFrameCase {
    const char* name;
    std::function<void(Frame&)> spoil;
};

// Parameters print as their case name (not as raw bytes) in test listings.
void PrintTo(const BadFrameCase& c, std::ostream* os) { *os << c.name; }
class WriteBadFrame : public testing::TestWithParam<BadFrameCase> {};

TEST_P(WriteBadFrame, IsRefusedWithoutCreatingAFile) {
    test::TempFolder folder;
    Frame frame = frame_from(round_trip_spec(5, 24, 0, 0));
    GetParam().spoil(frame);
    Failure message;
    EXPECT_EQ(write_bmp_frame(folder.file("x.bmp"), frame.pixels, frame.header, &message), -2);
    EXPECT_EQ(message.kind, FailureKind::bmp_bad_frame);
    EXPECT_FALSE(std::filesystem::exists(folder.file("x.bmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WriteBadFrame,
    testing::Values(BadFrameCase{"null_pixels", [](Frame& f) { f.pixels = PixelBuffer{}; }},
                    BadFrameCase{"null_header", [](Frame& f) { f.header.clear(); }},
                    BadFrameCase{"other_width", [](Frame& f) { test::put_u32(f.header, 4, 6); }},
                    BadFrameCase{"other_height", [](Frame& f) { test::put_u32(f.header, 8, 4); }},
                    BadFrameCase{"short_buffer", [](Frame& f) { f.pixels.bytes.resize(20); }},
                    BadFrameCase{"bits_8", [](Frame& f) { test::put_u16(f.header, 14, 8); }},
                    BadFrameCase{"size_field_108",
                                 [](Frame& f) { test::put_u32(f.header, 0, 108); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orv
