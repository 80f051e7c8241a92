#pragma once
// Frame-sized arrays that can live in an unlinked temporary file mapped into memory instead of
// on the heap. A program that keeps many frames (the GUI's frame store holds up to 1000 slots
// of five full-HD images each) moves the arrays it keeps into such files: the kernel writes
// their pages to disk and reads them back on touch, and `drop_resident_pages` gives the pages
// of an array not in use back, so resident memory stays bounded however many frames are held.
//
// SpillVector<T> is a std::vector whose allocator takes a file mapping when a SpillScope is
// active on the calling thread, a spill folder is set and the block is at least
// `spill_threshold` bytes; otherwise it takes the heap. Without a spill folder (the default,
// as in orv-cli and the tests) everything stays on the heap.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace orv {

inline constexpr std::size_t spill_threshold = std::size_t{1} << 20;

// Folder for the temporary files; empty turns spilling off. Set once at start-up.
void set_spill_folder(const std::string& folder);
const std::string& spill_folder();
inline bool spill_enabled() { return !spill_folder().empty(); }

// Allocations of SpillVector on this thread go to file mappings while a scope is alive.
struct SpillScope {
    SpillScope();
    ~SpillScope();
    SpillScope(const SpillScope&) = delete;
    SpillScope& operator=(const SpillScope&) = delete;
};

// A block of `bytes`, from a file mapping inside a SpillScope (throws std::bad_alloc when the
// file cannot be made or its disk room reserved), else from the heap.
void* spill_allocate(std::size_t bytes);
void spill_deallocate(void* block, std::size_t bytes);
// True for a block that lives in a file mapping.
bool is_spilled(const void* block);
// Gives back the resident pages of a mapped block (its contents stay in the file and come
// back on the next touch). Does nothing for heap blocks.
void drop_resident_pages(const void* block, std::size_t bytes);
// Gives back the resident pages of a mapped block and takes those already written to its file
// out of the page cache as well (pages still to be written stay until they are), so that the
// memory holding them is used again for the next blocks read instead of memory the system has
// not touched for long. Contents stay in the file; the next touch reads them back. Does nothing
// for heap blocks.
void release_pages(const void* block);
// Asks the kernel to start reading a mapped block's pages from its file now (all of them, or
// those holding bytes [offset, offset + bytes)), without waiting for them, so a touch soon
// after finds them in memory and does not wait for a read of its own. Does nothing for heap
// blocks.
void prefetch_pages(const void* block);
void prefetch_pages(const void* block, std::size_t offset, std::size_t bytes);
// Bytes held in file mappings now.
std::size_t spilled_bytes();

template <class T>
struct SpillAllocator {
    using value_type = T;
    SpillAllocator() = default;
    template <class U>
    SpillAllocator(const SpillAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(spill_allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) { spill_deallocate(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const SpillAllocator<U>&) const {
        return true;
    }
};

template <class T>
using SpillVector = std::vector<T, SpillAllocator<T>>;

template <class T>
bool operator==(const SpillVector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
template <class T>
bool operator==(const std::vector<T>& a, const SpillVector<T>& b) {
    return b == a;
}

// Moves the contents of `v` into a file mapping (when spilling is on and `v` is large enough
// and not there already) and gives its resident pages back.
template <class T>
void move_to_spill(SpillVector<T>& v) {
    if (!spill_enabled() || v.empty() || is_spilled(v.data())) return;
    if (v.size() * sizeof(T) < spill_threshold) return;
    SpillVector<T> mapped;
    {
        SpillScope scope;
        mapped.assign(v.begin(), v.end());
    }
    v.swap(mapped);
    drop_resident_pages(v.data(), v.size() * sizeof(T));
}

template <class T>
void drop_resident_pages(const SpillVector<T>& v) {
    if (!v.empty()) drop_resident_pages(v.data(), v.size() * sizeof(T));
}

template <class T>
void release_pages(const SpillVector<T>& v) {
    if (!v.empty()) release_pages(v.data());
}

template <class T>
void prefetch_pages(const SpillVector<T>& v) {
    if (!v.empty()) prefetch_pages(v.data());
}

// An unlinked temporary file for data written once and read back in parts (pwrite / pread):
// what it holds lives in the kernel's page cache or on disk, never in the process's resident
// memory. It is made in the spill folder when one is set, else in $TMPDIR, else in /var/tmp,
// and disappears when the object does.
struct ParkingFile {
    int descriptor = -1;

    ParkingFile() = default;
    ~ParkingFile();
    ParkingFile(ParkingFile&& other) noexcept;
    ParkingFile& operator=(ParkingFile&& other) noexcept;
    ParkingFile(const ParkingFile&) = delete;
    ParkingFile& operator=(const ParkingFile&) = delete;

    bool is_open() const { return descriptor >= 0; }
};

// An open parking file, or a closed one when none can be made.
ParkingFile open_parking_file();
// Whole transfers of `bytes` at byte `offset`; false on any failure (a full disk included).
bool write_parked(const ParkingFile& file, const void* data, std::size_t bytes, std::size_t offset);
bool read_parked(const ParkingFile& file, void* data, std::size_t bytes, std::size_t offset);
// Writes the range out to the disk, waits for it, and drops it from the page cache: for data
// written once and read once. Fresh page-cache pages can cost far more than the write itself
// (seen on virtual machines: 400 MB of cached writes taking four seconds of system time), while
// pages just dropped are taken again at little cost; so a long write goes in pieces, each
// dropped once written, and a read is dropped once used. Nothing changes when the file system
// cannot do it.
void release_parked(const ParkingFile& file, std::size_t bytes, std::size_t offset);
// write_parked in pieces of 4 MiB, each released once written.
bool write_parked_released(const ParkingFile& file, const void* data, std::size_t bytes,
                           std::size_t offset);
// Reads the first `bytes` of the file a block at a time (each block a whole number of 8-byte
// values, up to 1 MiB), handing each to `visit`. Read around the page cache where the file
// system allows it (direct reads into an aligned buffer), else read and dropped from the cache.
// False on any failure.
bool read_parked_blocks(const ParkingFile& file, std::size_t bytes,
                        const std::function<void(const void* data, std::size_t bytes)>& visit);

}  // namespace orv
