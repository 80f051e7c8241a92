// What decoding costs a measurement: 1080p H.264 pairs against the same frames as BMP files,
// measured with the sequence runner at one thread and at two, in one run, and the ratio of
// the video's time to the BMP files' time at each. Videos are decoded ahead of the measuring
// threads, so at two threads the ratio should stay near its one-thread value (at most 1.15).
// The media are made with the ffmpeg command-line tool (testsrc2, libx264 at CRF 18 and 35).
// Usage: bench_decode_ahead [frames, default 12]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_support.h"
#include "image/bmp_file.h"
#include "image/file_names.h"
#include "measure/inputs.h"
#include "measure/sequence_runner.h"
#include "media/media_source.h"

namespace {

namespace fs = std::filesystem;

// The video's frames as BMP files BASE_NNNN.bmp, decoded by ORV's own media input.
std::vector<std::string> bmp_copies(const std::string& video, const std::string& base) {
    orv::MediaSource source = orv::open_media(video, orv::MediaOptions{});
    orv::PixelBuffer pixels;
    orv::HeaderBlock header;
    std::vector<std::string> names;
    while (orv::next_frame(source, pixels, header)) {
        names.push_back(orv::numbered_name(base, static_cast<int>(names.size())));
        if (orv::write_bmp_frame(names.back(), pixels, header) != 0) {
            std::fprintf(stderr, "cannot write %s\n", names.back().c_str());
            std::exit(1);
        }
    }
    return names;
}

orv::RunSide side_of(const std::vector<std::string>& paths) {
    std::vector<orv::SequenceInput> inputs;
    for (const std::string& path : paths) inputs.push_back({path, orv::MediaOptions{}});
    return orv::open_run_side(inputs, 0);
}

double seconds_of_run(const orv::MeasurementConditions& conditions,
                      const std::vector<std::string>& reference,
                      const std::vector<std::string>& degraded, int threads) {
    const auto start = std::chrono::steady_clock::now();
    orv::RunSettings settings;
    settings.threads = threads;
    const orv::RunOutcome outcome =
        orv::run_sequence(conditions, side_of(reference), side_of(degraded), settings, {});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (outcome.frames == 0) std::exit(1);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(2, std::atoi(argv[1])) : 12;
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "bench_decode_ahead needs the ffmpeg command-line tool\n");
        return 1;
    }
    const fs::path work =
        fs::temp_directory_path() / ("orv-bench-decode-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string ref = (work / "ref.mp4").string();
    const std::string deg = (work / "deg.mp4").string();
    const std::string make =
        "ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
        std::to_string(frames) + " -c:v libx264 -pix_fmt yuv420p -crf ";
    if (std::system((make + "18 " + ref).c_str()) != 0 ||
        std::system((make + "35 " + deg).c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the videos\n");
        return 1;
    }
    const std::vector<std::string> ref_bmp = bmp_copies(ref, (work / "ref").string());
    const std::vector<std::string> deg_bmp = bmp_copies(deg, (work / "deg").string());

    std::ostream discard(nullptr);
    std::printf("%d pairs of 1920x1080 frames: H.264 (decoded ahead) against BMP files\n", frames);
    std::printf("threads  h264 s  bmp s  ratio\n");
    for (int threads : {1, 2}) {
        const orv::MeasurementConditions conditions =
            orv::load_conditions(bench::default_profile(), threads, discard);
        // BMP first, then the video, then BMP again: the mean of the two BMP runs absorbs drift.
        const double bmp1 = seconds_of_run(conditions, ref_bmp, deg_bmp, threads);
        const double video = seconds_of_run(conditions, {ref}, {deg}, threads);
        const double bmp2 = seconds_of_run(conditions, ref_bmp, deg_bmp, threads);
        const double bmp = (bmp1 + bmp2) / 2;
        std::printf("%7d  %6.2f  %5.2f  %5.3f\n", threads, video, bmp, video / bmp);
        std::fflush(stdout);
    }
    fs::remove_all(work);
    return 0;
}
