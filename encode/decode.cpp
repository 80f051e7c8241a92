// Decoding the written bitstream back into 24-bit frames through the media library, and the
// encode-then-decode run that writes the degraded sequence.

#include <filesystem>
#include <unistd.h>
#include <utility>

#include "encode/encoder.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "media/media_source.h"
#include "numeric/failure.h"

namespace orv {

namespace {

// Every file the run wrote, removed again unless the run completes.
struct WrittenFiles {
    std::vector<std::string> paths;
    bool keep = false;
    ~WrittenFiles() {
        if (keep) return;
        for (const std::string& path : paths) ::unlink(path.c_str());
    }
};

}  // namespace

int decode_video(const std::string& path, const std::function<void(int, PixelBuffer&&)>& deliver) {
    MediaSource source = open_media(path, MediaOptions{});
    PixelBuffer pixels;
    HeaderBlock header;
    int count = 0;
    while (next_frame(source, pixels, header)) deliver(count++, std::move(pixels));
    return count;
}

EncodeSummary encode_and_decode(const FrameSource& source, const EncodeSettings& settings,
                                const std::string& base, std::vector<std::string>& decoded_paths,
                                const EncodeProgress& progress) {
    check_encode_settings(settings);
    const std::string bitstream = base + ".mp4";
    std::vector<std::string> names;
    names.push_back(bitstream);
    const int digits = numbered_digits(source.count);
    for (int i = 0; i < source.count; ++i) names.push_back(numbered_name(base, i, ".bmp", digits));
    if (auto problem = output_problem(names)) {
        if (problem->kind == FailureKind::output_exists) problem->kind = FailureKind::file_exists;
        throw std::move(*problem);
    }

    const int total = 2 * source.count;
    EncodeProgress encoding;
    if (progress) encoding = [&](int done, int) { progress(done, total); };
    EncodeSummary summary = encode_sequence(source, settings, bitstream, encoding);
    WrittenFiles written;
    written.paths.push_back(bitstream);

    const int decoded = decode_video(bitstream, [&](int i, PixelBuffer&& pixels) {
        if (i >= source.count) return;
        const std::string& name = names[static_cast<std::size_t>(i) + 1];
        Failure failure;
        if (write_bmp_frame(name, pixels, make_header_block(pixels.width, pixels.height),
                            &failure) != 0) {
            throw failure;
        }
        written.paths.push_back(name);
        if (progress) progress(source.count + i + 1, total);
    });
    if (decoded != source.count) {
        raise_failure(FailureKind::decoded_count_mismatch, bitstream,
                      {std::to_string(decoded), std::to_string(source.count)});
    }
    decoded_paths.assign(names.begin() + 1, names.end());
    written.keep = true;
    return summary;
}

}  // namespace orv
