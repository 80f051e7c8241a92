#pragma once
// A file written whole or not at all: the bytes go to a temporary name beside the target
// (NAME.partial-XXXXXX) and are moved into place only when every byte is on disk, so a full
// disk, a failure or an interruption never leaves a cut-short file under the final name. An
// existing file is never replaced, unless the file is opened to replace it. Failures carry the
// system's reason.

#include <cstdio>
#include <string>
#include <string_view>

namespace orv {

struct OutputFile {
    std::string path;       // the final name
    std::string temporary;  // where the bytes go until finish_output
    std::FILE* file = nullptr;
    bool replace = false;  // finish_output puts the bytes in place of an existing file

    OutputFile() = default;
    ~OutputFile();  // an unfinished file's temporary is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
};

// Creates the temporary file for `path`. Throws Failure (cannot_create, with the reason).
void open_output_file(OutputFile& out, const std::string& path);

// Appends bytes. Throws Failure (cannot_write, with the reason); the temporary is removed.
void write_output(OutputFile& out, std::string_view bytes);

// Flushes the bytes to the disk and gives them the final name (never over an existing file:
// file_exists, unless out.replace; a replaced file is swapped whole for the new one). Throws
// Failure; the temporary is removed either way.
void finish_output(OutputFile& out);

// The three steps for bytes at hand.
void write_whole_file(const std::string& path, std::string_view bytes);
// The same, in place of the file `path` when it exists.
void replace_whole_file(const std::string& path, std::string_view bytes);

}  // namespace orv
