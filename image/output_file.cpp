#include "image/output_file.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "numeric/failure.h"

namespace orv {

namespace {

void discard(OutputFile& out) {
    if (out.file != nullptr) std::fclose(out.file);
    out.file = nullptr;
    if (!out.temporary.empty()) ::unlink(out.temporary.c_str());
    out.temporary.clear();
}

[[noreturn]] void fail(OutputFile& out, FailureKind kind, int error) {
    errno = error;
    const std::string reason = errno_text();
    discard(out);
    raise_failure(kind, out.path, {}, reason);
}

}  // namespace

OutputFile::~OutputFile() { discard(*this); }

void open_output_file(OutputFile& out, const std::string& path) {
    discard(out);
    out.path = path;
    std::string pattern = path + ".partial-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) raise_errno_failure(FailureKind::cannot_create, path);
    out.temporary = pattern;
    // An ordinary new file's permissions, not mkstemp's private ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    out.file = ::fdopen(fd, "wb");
    if (out.file == nullptr) {
        const int error = errno;
        ::close(fd);
        fail(out, FailureKind::cannot_create, error);
    }
}

void write_output(OutputFile& out, std::string_view bytes) {
    if (out.file == nullptr) raise_failure(FailureKind::cannot_write, out.path);
    if (std::fwrite(bytes.data(), 1, bytes.size(), out.file) != bytes.size()) {
        fail(out, FailureKind::cannot_write, errno);
    }
}

void finish_output(OutputFile& out) {
    if (out.file == nullptr) raise_failure(FailureKind::cannot_write, out.path);
    // A full disk often shows only when the buffered bytes are flushed or synced.
    if (std::fflush(out.file) != 0 || ::fsync(::fileno(out.file)) != 0) {
        fail(out, FailureKind::cannot_write, errno);
    }
    std::FILE* file = out.file;
    out.file = nullptr;
    if (std::fclose(file) != 0) fail(out, FailureKind::cannot_write, errno);
    if (out.replace) {
        if (::rename(out.temporary.c_str(), out.path.c_str()) != 0) {
            fail(out, FailureKind::cannot_write, errno);
        }
        out.temporary.clear();
        return;
    }
    // link() refuses an existing target, which rename() would replace.
    if (::link(out.temporary.c_str(), out.path.c_str()) != 0) {
        const int error = errno;
        if (error == EEXIST) {
            discard(out);
            raise_failure(FailureKind::file_exists, out.path);
        }
        fail(out, FailureKind::cannot_write, error);
    }
    discard(out);
}

void write_whole_file(const std::string& path, std::string_view bytes) {
    OutputFile out;
    open_output_file(out, path);
    write_output(out, bytes);
    finish_output(out);
}

void replace_whole_file(const std::string& path, std::string_view bytes) {
    OutputFile out;
    open_output_file(out, path);
    out.replace = true;
    write_output(out, bytes);
    finish_output(out);
}

}  // namespace orv
