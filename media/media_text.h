#pragma once
// How a sequence's files are read, in the words orv-cli's options and the Python keywords give
// it: matrix and range over the streams' tags, and the layout of raw files. One parser for
// every face; its messages are English and name the setting.

#include <string>
#include <vector>

#include "media/media_source.h"

namespace orv {

struct MediaText {
    std::string matrix;        // "bt601", "bt709", "bt2020"; empty: the stream's tag
    std::string range;         // "limited", "full"
    std::string size;          // raw files: "WxH"
    std::string pixel_format;  // raw files: the libraries' name
    std::string fps;           // raw files: frame rate

    // This sequence's own settings, each falling back to `shared` where not given.
    MediaText over(const MediaText& shared) const;
};

// Why a value cannot be taken ("" when it can): one function per setting, so that a
// command-line parser can check each option as it reads it.
std::string matrix_text_error(const std::string& text);
std::string range_text_error(const std::string& text);
std::string size_text_error(const std::string& text);
std::string pixel_format_text_error(const std::string& text);
std::string fps_text_error(const std::string& text);

// The options, each given setting checked (Failure with the setting's message otherwise).
MediaOptions parse_media_text(const MediaText& text);

// The files of a sequence given as paths, in order: a folder stands for its frame files
// (names ending in one of image_sequence_suffixes, in natural name order: frame_2 before
// frame_10); any other path is taken as it is. A folder without frame files is refused.
std::vector<std::string> expand_sequence_paths(const std::vector<std::string>& paths);

// The name endings (lower case) taken as frames when a folder is a sequence.
const std::vector<std::string>& image_sequence_suffixes();

}  // namespace orv
