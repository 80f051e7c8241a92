#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "image/spill_memory.h"

namespace orv {
namespace {

// Runs `body` with TMPDIR set to `folder`, restoring it after.
template <class Body>
void with_tmpdir(const std::string& folder, Body&& body) {
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", folder.c_str(), 1);
    body();
    if (saved != nullptr) {
        ::setenv("TMPDIR", previous.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

// Values written in uneven pieces (some beyond the 4 MiB a release covers), each dropped from
// the page cache once written, read back whole and in order a block at a time, on a disk file
// system and on tmpfs, for lengths below, at and beyond the block (the last block cut short by
// the end of the file); asking for more than the file holds fails.
TEST(ParkingFile, ValuesWrittenInPiecesReadBackInBlocks) {
    std::vector<std::string> folders = {"/var/tmp"};
    if (std::filesystem::is_directory("/dev/shm")) folders.push_back("/dev/shm");
    const std::size_t block_values = (std::size_t{1} << 20) / sizeof(double);
    for (const std::string& folder : folders) {
        for (std::size_t count : {std::size_t{3}, block_values, 5 * block_values + 3}) {
            SCOPED_TRACE(folder + ", " + std::to_string(count) + " values");
            with_tmpdir(folder, [&] {
                const ParkingFile file = open_parking_file();
                ASSERT_TRUE(file.is_open());
                std::vector<double> values(count);
                for (std::size_t i = 0; i < count; ++i)
                    values[i] = 0.25 * static_cast<double>(i) + 1e-9;
                std::size_t done = 0;
                for (std::size_t piece = 1; done < count; piece = piece * 7 + 5) {
                    const std::size_t n = std::min(piece, count - done);
                    ASSERT_TRUE(write_parked_released(file, values.data() + done,
                                                      n * sizeof(double), done * sizeof(double)));
                    done += n;
                }
                std::vector<double> back;
                const bool read = read_parked_blocks(file, count * sizeof(double),
                                                     [&](const void* data, std::size_t bytes) {
                                                         EXPECT_EQ(bytes % sizeof(double), 0u);
                                                         const std::size_t at = back.size();
                                                         back.resize(at + bytes / sizeof(double));
                                                         std::memcpy(back.data() + at, data, bytes);
                                                     });
                EXPECT_TRUE(read);
                EXPECT_EQ(back, values);
                EXPECT_FALSE(read_parked_blocks(file, (count + 1) * sizeof(double),
                                                [](const void*, std::size_t) {}));
            });
        }
    }
}

}  // namespace
}  // namespace orv
