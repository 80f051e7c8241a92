#include "image/spill_memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace orv {

namespace {

std::string& folder_setting() {
    static std::string folder;
    return folder;
}

thread_local int scope_depth = 0;

struct Registry {
    std::mutex mutex;
    std::map<std::uintptr_t, std::size_t> blocks;  // start address -> mapped length
    std::size_t total = 0;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::size_t page_size() {
    static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t round_to_pages(std::size_t bytes) {
    const std::size_t page = page_size();
    return (bytes + page - 1) / page * page;
}

// An unlinked file of `length` bytes with its disk room reserved, mapped shared. The file
// disappears with the mapping; no descriptor stays open.
void* map_temporary_file(std::size_t length) {
    int fd = ::open(spill_folder().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // File systems without anonymous files: a named one, unlinked at once.
        std::string name = spill_folder() + "/orv-frames-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) throw std::bad_alloc();
        ::unlink(name.c_str());
    }
    // Reserving the blocks now turns a full disk into an allocation failure here, never into
    // a fault when a page is first written.
    int reserved;
    do {
        reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(length));
    } while (reserved == EINTR);
    if (reserved != 0) {
        ::close(fd);
        throw std::bad_alloc();
    }
    void* block = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (block == MAP_FAILED) throw std::bad_alloc();
    return block;
}

}  // namespace

void set_spill_folder(const std::string& folder) { folder_setting() = folder; }

const std::string& spill_folder() { return folder_setting(); }

SpillScope::SpillScope() { ++scope_depth; }
SpillScope::~SpillScope() { --scope_depth; }

void* spill_allocate(std::size_t bytes) {
    if (scope_depth == 0 || bytes < spill_threshold || !spill_enabled()) {
        return ::operator new(bytes);
    }
    const std::size_t length = round_to_pages(bytes);
    void* block = map_temporary_file(length);
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.blocks.emplace(reinterpret_cast<std::uintptr_t>(block), length);
    r.total += length;
    return block;
}

void spill_deallocate(void* block, std::size_t bytes) {
    if (block == nullptr) return;
    if (bytes >= spill_threshold) {
        Registry& r = registry();
        std::unique_lock<std::mutex> lock(r.mutex);
        const auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(block));
        if (it != r.blocks.end()) {
            const std::size_t length = it->second;
            r.total -= length;
            r.blocks.erase(it);
            lock.unlock();
            ::munmap(block, length);
            return;
        }
    }
    ::operator delete(block);
}

bool is_spilled(const void* block) {
    if (block == nullptr) return false;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    return r.blocks.count(reinterpret_cast<std::uintptr_t>(block)) != 0;
}

void drop_resident_pages(const void* block, std::size_t bytes) {
    if (block == nullptr || bytes == 0) return;
    std::size_t length = 0;
    {
        Registry& r = registry();
        const std::lock_guard<std::mutex> lock(r.mutex);
        const auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(block));
        if (it == r.blocks.end()) return;
        length = it->second;
    }
    // Shared file pages: dropping them keeps their contents in the file (and the page cache).
    ::madvise(const_cast<void*>(block), length, MADV_DONTNEED);
}

namespace {

std::size_t mapped_length(const void* block) {
    if (block == nullptr) return 0;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.blocks.find(reinterpret_cast<std::uintptr_t>(block));
    return it == r.blocks.end() ? 0 : it->second;
}

}  // namespace

void release_pages(const void* block) {
    const std::size_t length = mapped_length(block);
    if (length == 0) return;
    void* start = const_cast<void*>(block);
    // Reclaims the clean pages mapped here (mapped by no one else): they leave the page cache
    // and their memory goes back to the kernel's free lists, where the next reads take it
    // first. Then the pages reclaim skipped (not yet written back) are unmapped.
    ::madvise(start, length, MADV_PAGEOUT);
    ::madvise(start, length, MADV_DONTNEED);
}

void prefetch_pages(const void* block) { prefetch_pages(block, 0, mapped_length(block)); }

void prefetch_pages(const void* block, std::size_t offset, std::size_t bytes) {
    const std::size_t length = mapped_length(block);
    if (length == 0 || offset >= length || bytes == 0) return;
    const std::size_t first = offset / page_size() * page_size();
    const std::size_t end = std::min(length, round_to_pages(offset + bytes));
    // Read-ahead into the page cache: the reads are queued, not awaited.
    ::madvise(static_cast<char*>(const_cast<void*>(block)) + first, end - first, MADV_WILLNEED);
}

ParkingFile::~ParkingFile() {
    if (descriptor >= 0) ::close(descriptor);
}

ParkingFile::ParkingFile(ParkingFile&& other) noexcept : descriptor(other.descriptor) {
    other.descriptor = -1;
}

ParkingFile& ParkingFile::operator=(ParkingFile&& other) noexcept {
    if (this != &other) {
        if (descriptor >= 0) ::close(descriptor);
        descriptor = other.descriptor;
        other.descriptor = -1;
    }
    return *this;
}

ParkingFile open_parking_file() {
    std::string folder = spill_folder();
    if (folder.empty()) {
        const char* variable = std::getenv("TMPDIR");
        folder = variable != nullptr && *variable != '\0' ? variable : "/var/tmp";
    }
    ParkingFile file;
    file.descriptor = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (file.descriptor < 0) {
        std::string name = folder + "/orv-planes-XXXXXX";
        file.descriptor = ::mkostemp(name.data(), O_CLOEXEC);
        if (file.descriptor >= 0) ::unlink(name.c_str());
    }
    return file;
}

namespace {

// Repeats `transfer` (pread or pwrite) until all `bytes` have moved; false on an error or at
// the end of the file.
template <class Buffer, class Transfer>
bool transfer_all(int descriptor, Buffer* at, std::size_t bytes, std::size_t offset,
                  Transfer transfer) {
    while (bytes > 0) {
        const ssize_t n = transfer(descriptor, at, bytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        bytes -= static_cast<std::size_t>(n);
        offset += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool write_parked(const ParkingFile& file, const void* data, std::size_t bytes,
                  std::size_t offset) {
    return transfer_all(file.descriptor, static_cast<const char*>(data), bytes, offset, ::pwrite);
}

bool read_parked(const ParkingFile& file, void* data, std::size_t bytes, std::size_t offset) {
    return transfer_all(file.descriptor, static_cast<char*>(data), bytes, offset, ::pread);
}

bool write_parked_released(const ParkingFile& file, const void* data, std::size_t bytes,
                           std::size_t offset) {
    constexpr std::size_t piece = std::size_t{4} << 20;
    const char* at = static_cast<const char*>(data);
    // Each piece's write to the disk is started at once and awaited (and the piece dropped)
    // only after the next piece is copied, so the copying overlaps the disk.
    std::size_t pending = 0;  // bytes written, not yet released, ending at `done`
    std::size_t done = 0;
    for (; done < bytes;) {
        const std::size_t n = std::min(piece, bytes - done);
        if (!write_parked(file, at + done, n, offset + done)) return false;
        ::sync_file_range(file.descriptor, static_cast<off_t>(offset + done), static_cast<off_t>(n),
                          SYNC_FILE_RANGE_WRITE);
        if (pending > 0) release_parked(file, pending, offset + done - pending);
        pending = n;
        done += n;
    }
    if (pending > 0) release_parked(file, pending, offset + done - pending);
    return true;
}

bool read_parked_blocks(const ParkingFile& file, std::size_t bytes,
                        const std::function<void(const void* data, std::size_t bytes)>& visit) {
    if (bytes == 0) return true;
    if (file.descriptor < 0) return false;
    // 1 MiB: a whole number of pages and of 8-byte values, as direct reads need.
    constexpr std::size_t block = std::size_t{1} << 20;
    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    const std::unique_ptr<char, Free> buffer(static_cast<char*>(std::aligned_alloc(4096, block)));
    if (!buffer) return false;
    const int flags = ::fcntl(file.descriptor, F_GETFL);
    const bool direct = flags >= 0 && ::fcntl(file.descriptor, F_SETFL, flags | O_DIRECT) == 0;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes; done += block) {
        const std::size_t want = std::min(block, bytes - done);
        if (direct) {
            // A whole block is asked for; the read stops at the end of the file.
            ssize_t n = 0;
            do {
                n = ::pread(file.descriptor, buffer.get(), block, static_cast<off_t>(done));
            } while (n < 0 && errno == EINTR);
            ok = n >= 0 && static_cast<std::size_t>(n) >= want;
        } else {
            ok = read_parked(file, buffer.get(), want, done);
            release_parked(file, want, done);
        }
        if (ok) visit(buffer.get(), want);
    }
    if (direct) ::fcntl(file.descriptor, F_SETFL, flags);
    return ok;
}

void release_parked(const ParkingFile& file, std::size_t bytes, std::size_t offset) {
    if (file.descriptor < 0 || bytes == 0) return;
    const auto at = static_cast<off_t>(offset);
    const auto length = static_cast<off_t>(bytes);
    ::sync_file_range(
        file.descriptor, at, length,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    ::posix_fadvise(file.descriptor, at, length, POSIX_FADV_DONTNEED);
}

std::size_t spilled_bytes() {
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    return r.total;
}

}  // namespace orv
