#include "image/bmp_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "image/bmp_file_internal.h"

namespace orv {

namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::size_t info_header_size = 40;
constexpr std::size_t standard_pixel_offset = file_header_size + info_header_size;  // 54

std::uint32_t get_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t get_i32(const std::uint8_t* p) { return static_cast<std::int32_t>(get_u32(p)); }

std::uint16_t get_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void put_u32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// n raised to the next multiple of 4 (n >= 0).
long long padded_row(long long n) { return (n % 4 != 0) ? n - (n % 4) + 4 : n; }

int refuse(Failure* failure, const std::string& path, FailureKind kind, int code,
           std::string reason = {}) {
    if (failure != nullptr) *failure = Failure{kind, path, {}, std::move(reason)};
    return code;
}

}  // namespace

int header_width(const HeaderBlock& header) {
    return header.size() >= 12 ? get_i32(header.data() + 4) : 0;
}

int header_height(const HeaderBlock& header) {
    return header.size() >= 12 ? get_i32(header.data() + 8) : 0;
}

std::optional<FailureKind> check_bmp_headers(const std::uint8_t* head, std::size_t head_size,
                                             std::uint64_t file_size, BmpLayout& layout) {
    if (head_size < 2 || head[0] != 'B' || head[1] != 'M') return FailureKind::not_a_bmp;
    if (head_size < file_header_size + 4) return FailureKind::bmp_truncated_header;
    const std::uint32_t info_size = get_u32(head + file_header_size);
    // Core (12-byte) and other short headers have a different field layout; they are refused
    // rather than misread. Every longer header starts with the 40-byte layout.
    if (info_size < info_header_size) return FailureKind::bmp_header_format;
    if (head_size < file_header_size + info_header_size) return FailureKind::bmp_truncated_header;

    const std::uint8_t* info = head + file_header_size;
    const int bits = get_u16(info + 14);
    if (bits != 24 && bits != 8) return FailureKind::not_a_bmp;
    const std::uint64_t headers_end = file_header_size + static_cast<std::uint64_t>(info_size);
    if (headers_end > file_size) return FailureKind::bmp_truncated_header;
    if (get_u32(info + 16) != 0) return FailureKind::bmp_compressed;

    const std::int32_t width = get_i32(info + 4);
    const std::int32_t height = get_i32(info + 8);
    if (width <= 0 || height == 0) return FailureKind::bmp_bad_size;
    if (height < 0) return FailureKind::bmp_top_down;
    const long long frame_stride = padded_row(3LL * width);
    if (frame_stride > max_frame_bytes / height) return FailureKind::bmp_too_large;
    const long long source_row = padded_row(static_cast<long long>(width) * (bits / 8));

    const std::uint64_t pixel_offset = get_u32(head + 10);
    if (pixel_offset < headers_end) return FailureKind::bmp_truncated_pixels;
    // The last row needs only its pixels, not its filler, to be present.
    const std::uint64_t pixel_end = pixel_offset +
                                    static_cast<std::uint64_t>(source_row) * (height - 1) +
                                    static_cast<std::uint64_t>(width) * (bits / 8);
    if (pixel_end > file_size) return FailureKind::bmp_truncated_pixels;

    // The colour table lies between the headers and the pixel data; it holds the number of
    // entries the header announces (256 when it says 0), as far as that room allows.
    std::uint64_t table_entries = 0;
    if (bits == 8) {
        const std::uint32_t colours_used = get_u32(info + 32);
        const std::uint64_t announced =
            (colours_used == 0 || colours_used > 256) ? 256 : colours_used;
        const std::uint64_t room = (pixel_offset - headers_end) / 4;
        table_entries = announced < room ? announced : room;
        if (table_entries == 0) return FailureKind::bmp_bad_colour_table;
    }

    layout.bits = bits;
    layout.width = width;
    layout.height = height;
    layout.frame_stride = frame_stride;
    layout.source_row = source_row;
    layout.headers_end = headers_end;
    layout.pixel_offset = pixel_offset;
    layout.pixel_end = pixel_end;
    layout.table_entries = static_cast<unsigned>(table_entries);
    return std::nullopt;
}

int read_bmp_bytes(const std::uint8_t* data, std::size_t size, const std::string& path,
                   PixelBuffer& pixels, HeaderBlock& header, Failure* message) {
    auto fail = [&](FailureKind kind) { return refuse(message, path, kind, -2); };

    BmpLayout layout;
    const std::size_t head_size = size < standard_pixel_offset ? size : standard_pixel_offset;
    if (const auto kind = check_bmp_headers(data, head_size, size, layout)) return fail(*kind);
    const std::uint8_t* info = data + file_header_size;
    const int bits = layout.bits;
    const std::int32_t width = layout.width;
    const std::int32_t height = layout.height;
    const long long frame_stride = layout.frame_stride;
    const long long source_row = layout.source_row;
    const std::uint64_t table_entries = layout.table_entries;

    PixelBuffer frame;
    frame.width = width;
    frame.height = height;
    frame.stride = static_cast<int>(frame_stride);
    try {
        frame.bytes.assign(
            static_cast<std::size_t>(frame_stride) * static_cast<std::size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return fail(FailureKind::bmp_out_of_memory);
    }

    const std::uint8_t* source = data + layout.pixel_offset;
    const std::size_t row_pixels = static_cast<std::size_t>(width);
    if (bits == 24) {
        for (std::int32_t r = 0; r < height; ++r) {
            std::memcpy(frame.bytes.data() + static_cast<std::size_t>(r) * frame_stride,
                        source + static_cast<std::size_t>(r) * source_row, row_pixels * 3);
        }
    } else {
        const std::uint8_t* table = data + layout.headers_end;
        for (std::int32_t r = 0; r < height; ++r) {
            const std::uint8_t* in = source + static_cast<std::size_t>(r) * source_row;
            std::uint8_t* out = frame.bytes.data() + static_cast<std::size_t>(r) * frame_stride;
            for (std::size_t x = 0; x < row_pixels; ++x) {
                const unsigned index = in[x];
                if (index >= table_entries) return fail(FailureKind::bmp_bad_colour_index);
                const std::uint8_t* entry = table + 4 * index;
                out[3 * x] = entry[0];
                out[3 * x + 1] = entry[1];
                out[3 * x + 2] = entry[2];
            }
        }
    }

    HeaderBlock block(header_block_size, 0);
    std::memcpy(block.data(), info, info_header_size);
    put_u32(block.data(), static_cast<std::uint32_t>(info_header_size));
    block[14] = 24;
    block[15] = 0;

    pixels = std::move(frame);
    header = std::move(block);
    return static_cast<int>(frame_stride);
}

int read_bmp_frame(const std::string& path, PixelBuffer& pixels, HeaderBlock& header,
                   Failure* message) {
    auto cannot_open = [&] {
        return refuse(message, path, FailureKind::cannot_open, -1, errno_text());
    };

    // Non-blocking so that a named pipe given as a file cannot stall the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return cannot_open();
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return cannot_open();
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(message, path, FailureKind::cannot_open, -1,
                      S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    const std::uint64_t file_size = static_cast<std::uint64_t>(info.st_size);

    // Reads bytes [from, to) of the file; false on a read error. A file that shrinks while
    // it is read leaves `bytes` shorter.
    std::vector<std::uint8_t> bytes;
    auto read_into = [&](std::size_t from, std::size_t to) {
        bytes.resize(to);
        std::size_t done = from;
        while (done < to) {
            const ssize_t n = ::read(fd, bytes.data() + done, to - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        return true;
    };
    // The headers first; then, for a file they accept, only the bytes up to the end of the
    // pixel data: trailing data of a large file is never read or held.
    const std::size_t head_size = static_cast<std::size_t>(
        file_size < standard_pixel_offset ? file_size : standard_pixel_offset);
    bool read_ok = read_into(0, head_size);
    if (read_ok && bytes.size() == head_size) {
        BmpLayout layout;
        if (const auto kind = check_bmp_headers(bytes.data(), bytes.size(), file_size, layout)) {
            ::close(fd);
            return refuse(message, path, *kind, -2);
        }
        try {
            read_ok = read_into(bytes.size(), static_cast<std::size_t>(layout.pixel_end));
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return refuse(message, path, FailureKind::bmp_out_of_memory, -2);
        }
    }
    const int read_error = errno;
    ::close(fd);
    if (!read_ok) {
        return refuse(message, path, FailureKind::cannot_open, -1, std::strerror(read_error));
    }
    return read_bmp_bytes(bytes.data(), bytes.size(), path, pixels, header, message);
}

int write_bmp_frame_with(const std::string& path, const PixelBuffer& pixels,
                         const HeaderBlock& header, Failure* message,
                         const WriteBytes& write_bytes) {
    if (header.size() < info_header_size || !is_present(pixels)) {
        return refuse(message, path, FailureKind::bmp_bad_frame, -2);
    }
    // The block must describe plain 24-bit rows exactly as this buffer holds them.
    const int width = header_width(header);
    const int height = header_height(header);
    if (get_u32(header.data()) != info_header_size || get_u16(header.data() + 14) != 24 ||
        get_u32(header.data() + 16) != 0 || width <= 0 || height <= 0 || width != pixels.width ||
        height != pixels.height) {
        return refuse(message, path, FailureKind::bmp_bad_frame, -2);
    }
    const long long stride = padded_row(3LL * width);
    if (stride > max_frame_bytes / height || stride != pixels.stride ||
        pixels.bytes.size() < static_cast<std::size_t>(stride) * static_cast<std::size_t>(height)) {
        return refuse(message, path, FailureKind::bmp_bad_frame, -2);
    }
    const std::size_t pixel_bytes =
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);

    std::uint8_t head[standard_pixel_offset] = {};
    head[0] = 'B';
    head[1] = 'M';
    put_u32(head + 2, static_cast<std::uint32_t>(pixel_bytes + standard_pixel_offset));
    put_u32(head + 10, static_cast<std::uint32_t>(standard_pixel_offset));
    std::memcpy(head + file_header_size, header.data(), info_header_size);

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) return refuse(message, path, FailureKind::file_exists, -2);
        return refuse(message, path, FailureKind::cannot_create, -2, errno_text());
    }

    std::string reason;  // the system's, when it gave one
    auto write_all = [&](const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const long long n = write_bytes(fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) reason = errno_text();
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    };
    bool written = write_all(head, sizeof head) && write_all(pixels.bytes.data(), pixel_bytes);
    if (::close(fd) != 0 && written) {
        reason = errno_text();
        written = false;
    }
    if (!written) {
        // The file is ours (it was created above): take it away rather than leave a part.
        ::unlink(path.c_str());
        return refuse(message, path, FailureKind::cannot_write, -2, std::move(reason));
    }
    return 0;
}

int write_bmp_frame(const std::string& path, const PixelBuffer& pixels, const HeaderBlock& header,
                    Failure* message) {
    return write_bmp_frame_with(path, pixels, header, message,
                                [](int fd, const std::uint8_t* data, std::size_t size) {
                                    return static_cast<long long>(::write(fd, data, size));
                                });
}

}  // namespace orv
