#include "media/media_text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "media/raw_format.h"
#include "numeric/failure.h"

namespace orv {

MediaText MediaText::over(const MediaText& shared) const {
    MediaText merged = *this;
    for (auto field : {&MediaText::matrix, &MediaText::range, &MediaText::size,
                       &MediaText::pixel_format, &MediaText::fps}) {
        if ((merged.*field).empty()) merged.*field = shared.*field;
    }
    return merged;
}

namespace {

// The English text of a refused setting, from the failure's own wording.
std::string refusal(FailureKind kind, const std::string& text) {
    return failure_text(Failure{kind, {}, {text}, {}});
}

FailureKind kind_of(std::string (*error)(const std::string&));

}  // namespace

std::string matrix_text_error(const std::string& text) {
    if (text == "bt601" || text == "bt709" || text == "bt2020") return "";
    return refusal(FailureKind::media_matrix_text, text);
}

std::string range_text_error(const std::string& text) {
    if (text == "limited" || text == "full") return "";
    return refusal(FailureKind::media_range_text, text);
}

std::string size_text_error(const std::string& text) {
    return parse_frame_size(text) ? "" : refusal(FailureKind::media_size_text, text);
}

std::string pixel_format_text_error(const std::string& text) {
    return known_raw_pixel_format(text) ? "" : refusal(FailureKind::media_pixel_format_text, text);
}

std::string fps_text_error(const std::string& text) {
    return parse_frame_rate(text) ? "" : refusal(FailureKind::media_fps_text, text);
}

namespace {

FailureKind kind_of(std::string (*error)(const std::string&)) {
    if (error == matrix_text_error) return FailureKind::media_matrix_text;
    if (error == range_text_error) return FailureKind::media_range_text;
    if (error == size_text_error) return FailureKind::media_size_text;
    if (error == pixel_format_text_error) return FailureKind::media_pixel_format_text;
    return FailureKind::media_fps_text;
}

}  // namespace

MediaOptions parse_media_text(const MediaText& text) {
    const auto check = [](const std::string& value, std::string (*error)(const std::string&)) {
        if (value.empty()) return;
        if (!error(value).empty()) raise_failure(kind_of(error), {}, {value});
    };
    check(text.matrix, matrix_text_error);
    check(text.range, range_text_error);
    check(text.size, size_text_error);
    check(text.pixel_format, pixel_format_text_error);
    check(text.fps, fps_text_error);

    MediaOptions options;
    if (text.matrix == "bt601") options.matrix = YuvMatrix::bt601;
    if (text.matrix == "bt709") options.matrix = YuvMatrix::bt709;
    if (text.matrix == "bt2020") options.matrix = YuvMatrix::bt2020;
    if (text.range == "limited") options.range = YuvRange::limited;
    if (text.range == "full") options.range = YuvRange::full;
    if (!text.size.empty() || !text.pixel_format.empty() || !text.fps.empty()) {
        RawFormat raw;
        if (const auto size = parse_frame_size(text.size)) {
            raw.width = size->width;
            raw.height = size->height;
        }
        raw.pixel_format = text.pixel_format;
        if (const auto rate = parse_frame_rate(text.fps)) {
            raw.fps_num = rate->num;
            raw.fps_den = rate->den;
        }
        options.raw = raw;
    }
    return options;
}

const std::vector<std::string>& image_sequence_suffixes() {
    static const std::vector<std::string> suffixes = {".bmp",  ".png", ".tif",
                                                      ".tiff", ".jpg", ".jpeg"};
    return suffixes;
}

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool is_frame_file_name(const std::string& name) {
    const std::string low = lower(name);
    for (const std::string& suffix : image_sequence_suffixes()) {
        if (low.size() >= suffix.size() &&
            low.compare(low.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return true;
        }
    }
    return false;
}

// Orders embedded numbers by value: "f_2" before "f_10"; otherwise byte order.
bool natural_less(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && digit(a[ei])) ++ei;
            while (ej < b.size() && digit(b[ej])) ++ej;
            // Compared as numbers without converting: leading zeros off, then by length.
            std::size_t si = i;
            std::size_t sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            const int order = a.compare(si, ei - si, b, sj, ej - sj);
            if (order != 0) return order < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<std::string> expand_sequence_paths(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
            std::error_code kind;
            const std::string name = entry.path().filename().string();
            if (is_frame_file_name(name) && entry.is_regular_file(kind)) names.push_back(name);
        }
        if (names.empty()) {
            std::string endings;
            for (const std::string& suffix : image_sequence_suffixes()) {
                endings += (endings.empty() ? "" : ", ") + suffix;
            }
            raise_failure(FailureKind::folder_without_frames, path, {endings});
        }
        std::sort(names.begin(), names.end(), natural_less);
        for (const std::string& name : names) {
            files.push_back((std::filesystem::path(path) / name).string());
        }
    }
    return files;
}

}  // namespace orv
