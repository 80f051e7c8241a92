// orv-cli: the batch tool. S-CIELAB colour differences of frame pairs, S-CIELAB-filtered
// frames and the random-noise degradation, on BMP, image, video and raw files, without the GUI.

#include <unistd.h>
#ifdef __GLIBC__
#endif

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <tuple>

#include "cli/commands.h"
#include "cli/encode_commands.h"
#include "cli/rd_resume.h"
#include "cli/viewing_options.h"
#include "measure/frame_loop.h"
#include "media/media_source.h"
#include "media/media_text.h"
#include "media/raw_format.h"
#include "numeric/failure.h"
#include "report/run_record.h"

namespace {

constexpr const char* tool_footer =
    "Exit status: 0 done, 1 a file could not be read or written, a frame pair was refused or\n"
    "the measurement failed (one line on standard error names the file), 2 a usage error,\n"
    "3 (diff) every output written but a frame beyond --fail-above or --fail-above-p95.\n"
    "Outputs are named BASE_0000.bmp, BASE_0001.bmp, ... (BASE_0000.npy for maps of values);\n"
    "an existing file is never overwritten: the run stops before any work with status 1.";

constexpr const char* trace_help =
    "Send the kernel files' filter trace to standard error (without it the trace is "
    "discarded, so that standard output holds only the difference table)";

void add_common(CLI::App& command, orv::CommonOptions& common) {
    command
        .add_option("--profile", common.profile,
                    "Profile-data folder: DISPGOG_parameter.txt, the three matrix files and "
                    "kernel_L.txt, kernel_RG.txt, kernel_BY.txt")
        ->type_name("DIR")
        ->capture_default_str();
    command
        .add_option("--threads", common.threads,
                    "Frames processed in parallel (the output is the same for any number)")
        ->type_name("N")
        ->check(CLI::Range(1, 1024))
        ->capture_default_str();
    command.add_flag("--kernel-trace", common.kernel_trace, trace_help);
}

// The display model and primaries a measurement assumes.
void add_display(CLI::App& command, orv::CommonOptions& common) {
    orv::DisplayChoice& display = common.display;
    command
        .add_option_function<std::string>(
            "--display",
            [&display, &common](const std::string& text) {
                display.transfer = *orv::transfer_from_text(text);
                common.display_given = true;
            },
            "Display transfer function: profile (the profile's model, the default), srgb, bt1886, "
            "pq (SMPTE ST 2084) or hlg (BT.2100); default for video tagged smpte2084: pq, "
            "arib-std-b67: hlg")
        ->check(CLI::IsMember({"profile", "srgb", "bt1886", "pq", "hlg"}))
        ->type_name("MODEL");
    command
        .add_option_function<std::string>(
            "--primaries",
            [&display, &common](const std::string& text) {
                display.primaries = *orv::primaries_from_text(text);
                common.primaries_given = true;
            },
            "Display primaries: profile (the profile's RGBtoXYZ, the default), bt709, p3d65 or "
            "bt2020; default for video tagged bt2020: bt2020")
        ->check(CLI::IsMember({"profile", "bt709", "p3d65", "bt2020"}))
        ->type_name("SET");
    command
        .add_option_function<double>(
            "--white-luminance", [&display](double v) { display.white_luminance = v; },
            "Luminance of CIELAB's white, cd/m2 (default 203 for pq and hlg, else 100; bt1886: "
            "its white)")
        ->type_name("CD");
    command
        .add_option_function<double>(
            "--black-luminance", [&display](double v) { display.black_luminance = v; },
            "Black of the bt1886 display, cd/m2 (default 0)")
        ->type_name("CD");
    command
        .add_option_function<double>(
            "--peak-luminance", [&display](double v) { display.peak_luminance = v; },
            "Peak of the pq and hlg displays, cd/m2 (default 1000)")
        ->type_name("CD");
}

// --reference-display, --degraded-display, --reference-primaries and --degraded-primaries:
// one side's display, over --display and --primaries. `degraded` names the degraded side.
void add_side_display(CLI::App& command, orv::CommonOptions& common, const char* degraded) {
    for (const auto& [side, own, whose] :
         {std::tuple{"reference", &common.reference_display, "the reference"},
          std::tuple{"degraded", &common.degraded_display, degraded}}) {
        orv::SideDisplayOptions* o = own;
        command
            .add_option_function<std::string>(
                std::string("--") + side + "-display",
                [o](const std::string& text) { o->transfer = orv::transfer_from_text(text); },
                std::string("Display transfer function of ") + whose + " alone (over --display)")
            ->check(CLI::IsMember({"profile", "srgb", "bt1886", "pq", "hlg"}))
            ->type_name("MODEL");
        command
            .add_option_function<std::string>(
                std::string("--") + side + "-primaries",
                [o](const std::string& text) { o->primaries = orv::primaries_from_text(text); },
                std::string("Display primaries of ") + whose + " alone (over --primaries)")
            ->check(CLI::IsMember({"profile", "bt709", "p3d65", "bt2020"}))
            ->type_name("SET");
    }
}

// "--matrix", or "--reference-matrix" with prefix "reference-"; `whose` ends the help texts.
void add_media(CLI::App& command, orv::MediaText& text, const std::string& prefix,
               const std::string& whose) {
    // The media layer's own checks, so that orv-cli and Python refuse the same values.
    const auto check = [](std::string (*error)(const std::string&)) {
        return CLI::Validator([error](std::string& value) { return error(value); }, "");
    };
    const CLI::Validator frame_size = check(orv::size_text_error);
    const CLI::Validator frame_rate = check(orv::fps_text_error);
    const CLI::Validator pixel_format = check(orv::pixel_format_text_error);
    command
        .add_option("--" + prefix + "matrix", text.matrix,
                    "YUV to RGB matrix of " + whose +
                        ", over the stream's tag (default: the tag; untagged: bt601 below 720 "
                        "lines, bt709 from 720)")
        ->check(CLI::IsMember({"bt601", "bt709", "bt2020"}))
        ->type_name("bt601|bt709|bt2020");
    command
        .add_option("--" + prefix + "range", text.range,
                    "YUV range of " + whose +
                        ", over the stream's tag (default: the tag; "
                        "untagged: limited)")
        ->check(CLI::IsMember({"limited", "full"}))
        ->type_name("limited|full");
    command
        .add_option("--" + prefix + "size", text.size,
                    "Frame size of the raw files (.yuv, .rgb, .raw) of " + whose)
        ->check(frame_size)
        ->type_name("WxH");
    command
        .add_option(
            "--" + prefix + "pix-fmt", text.pixel_format,
            "Pixel format of the raw files of " + whose + " (yuv420p, yuv422p10le, rgb24, ...)")
        ->check(pixel_format)
        ->type_name("NAME");
    command
        .add_option("--" + prefix + "fps", text.fps,
                    "Frame rate of the raw files of " + whose + " (default 25)")
        ->check(frame_rate)
        ->type_name("RATE");
}

// A failure of the numerical library ends with the line its fatal exit always printed.
int report(const std::string& message) {
    orv::end_progress_line();
    std::fprintf(stderr, "orv-cli: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "orv-cli: S-CIELAB colour differences, S-CIELAB-filtered frames and the "
        "random-noise degradation of frame sequences: BMP files, images, videos and raw YUV/RGB "
        "files.",
        "orv-cli"};
    app.footer(tool_footer);
    app.set_version_flag("--version", "orv-cli " + std::string(orv::orv_version()));
    app.require_subcommand(1);

    orv::DiffOptions diff;
    diff.common.threads = orv::machine_threads();
    CLI::App* diff_command =
        app.add_subcommand("diff", "Measure the S-CIELAB colour difference of each pair of frames");
    diff_command->footer(
        "Slot i pairs reference i with degraded i; the shorter sequence repeats its last\n"
        "frame, so there is one row per frame of the longer one. The CSV table has the header\n"
        "frame,reference,degraded,mean,max,min: the slot from 0, the two files used, and the\n"
        "mean, largest and smallest per-pixel difference (CIE94 unless --delta-e) with six\n"
        "decimals; then median,p95,p99 (nearest-rank percentiles of the map), above_T for each\n"
        "threshold T (share of pixels whose difference exceeds T) and max_x,max_y (the largest\n"
        "difference, y = 0 the top row). Rows of the frames finished before a failure stay in\n"
        "the table.\n"
        "A FILE may be a BMP file, an image, a video (all its frames, in order) or a raw\n"
        "YUV/RGB file (.yuv, .rgb, .raw, described by --size and --pix-fmt); a frame of a\n"
        "file holding several is named PATH#N in the table. How each media input's pixels\n"
        "became RGB is stated on standard error.\n"
        "The filter trace of the kernel files goes to standard error with --kernel-trace and\n"
        "is discarded otherwise.\n\n" +
        std::string(tool_footer));
    add_common(*diff_command, diff.common);
    diff_command
        ->add_option("--reference", diff.reference, "Reference (undegraded) frames, in order")
        ->type_name("FILE")
        ->required();
    diff_command->add_option("--degraded", diff.degraded, "Degraded frames, in order")
        ->type_name("FILE")
        ->required();
    diff_command
        ->add_option("--csv", diff.csv, "Write the table to FILE instead of standard output")
        ->type_name("FILE");
    diff_command
        ->add_option("--metrics", diff.metrics,
                     "Add PSNR and SSIM columns (psnr, ssim or psnr,ssim) measured as FFmpeg's "
                     "psnr and ssim filters do: on the decoded Y, U, V planes when both inputs "
                     "are YUV of one pixel format, else on R, G, B")
        ->type_name("LIST");
    diff_command
        ->add_option("--maps", diff.maps,
                     "Write each grey picture of the difference map as a 24-bit BMP "
                     "BASE_NNNN.bmp")
        ->type_name("BASE");
    diff_command
        ->add_option("--values", diff.values,
                     "Write each per-pixel difference map as a NumPy file BASE_NNNN.npy "
                     "(float64, shape (height, width), first row the top of the picture)")
        ->type_name("BASE");
    orv::MediaText diff_media, reference_media, degraded_media;
    add_media(*diff_command, diff_media, "", "both sequences");
    add_media(*diff_command, reference_media, "reference-", "the reference sequence");
    add_media(*diff_command, degraded_media, "degraded-", "the degraded sequence");
    diff_command
        ->add_option("--reference-start", diff.reference_start,
                     "Frames of the reference sequence skipped at its start")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    diff_command
        ->add_option("--degraded-start", diff.degraded_start,
                     "Frames of the degraded sequence skipped at its start")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    diff_command->add_option("--frames", diff.frames, "Measure at most N pairs")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    orv::add_report_options(*diff_command, diff.report);
    orv::add_viewing_options(*diff_command, diff.common.viewing);
    add_display(*diff_command, diff.common);
    add_side_display(*diff_command, diff.common, "the degraded input");
    orv::add_frame_options(*diff_command, diff.handling, true);
    orv::group_diff_help(*diff_command);

    orv::FilterOptions filter;
    filter.common.threads = orv::machine_threads();
    CLI::App* filter_command = app.add_subcommand(
        "filter", "Write the S-CIELAB-filtered version of each frame as a 24-bit BMP");
    filter_command->footer(
        "The filter trace of the kernel files goes to standard error with --kernel-trace and\n"
        "is discarded otherwise.\n\n" +
        std::string(tool_footer));
    add_common(*filter_command, filter.common);
    filter_command->add_option("--out", filter.out, "Base name of the outputs: BASE_NNNN.bmp")
        ->type_name("BASE")
        ->required();
    filter_command->add_option("files", filter.files, "Frames, in order")
        ->type_name("FILE")
        ->required();
    orv::MediaText filter_media;
    add_media(*filter_command, filter_media, "", "the input");
    orv::add_viewing_options(*filter_command, filter.common.viewing);
    orv::add_frame_options(*filter_command, filter.handling, false);
    add_display(*filter_command, filter.common);

    orv::NoiseOptions noise;
    std::vector<double> sigmas;
    std::int64_t seed = -1;
    CLI::App* noise_command = app.add_subcommand(
        "noise", "Add Gaussian noise to each frame, with one standard deviation per channel");
    noise_command->footer(
        "Three channel passes, red, green and blue, each drawing from the runtime generator\n"
        "seeded afresh; a negative standard deviation counts as 0. Each output is the noisy\n"
        "frame as a 24-bit BMP.\n\n" +
        std::string(tool_footer));
    noise_command->add_option("--sigma", sigmas, "Standard deviations of red, green and blue")
        ->type_name("R G B")
        ->expected(3)
        ->allow_extra_args(false)
        ->required();
    noise_command
        ->add_option("--seed", seed,
                     "Seed of every channel pass (default: the millisecond clock, read "
                     "before each pass)")
        ->type_name("N")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{4294967295}));
    noise_command->add_option("--out", noise.out, "Base name of the outputs: BASE_NNNN.bmp")
        ->type_name("BASE")
        ->required();
    noise_command->add_option("files", noise.files, "Frames, in order")
        ->type_name("FILE")
        ->required();
    orv::MediaText noise_media;
    add_media(*noise_command, noise_media, "", "the input");
    orv::add_frame_options(*noise_command, noise.handling, false);

    orv::EncodeCommands encode;
    orv::add_encode_commands(app, encode);
    add_display(*encode.rd, encode.rd_options.common);
    add_side_display(*encode.rd, encode.rd_options.common, "the encodes");

    try {
        app.parse(argc, argv);
        for (double sigma : sigmas) {
            if (!std::isfinite(sigma)) {
                throw CLI::ValidationError("--sigma",
                                           "a standard deviation must be a finite number");
            }
        }
        orv::check_report_options(diff.report);
        orv::check_viewing_options(diff.common.viewing);
        orv::check_viewing_options(filter.common.viewing);
        orv::check_viewing_options(encode.rd_options.common.viewing);
        for (auto [command, common] :
             {std::pair{diff_command, &diff.common}, std::pair{filter_command, &filter.common}}) {
            common->profile_default = command->count("--profile") == 0;
        }
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }

    diff.reference_media = reference_media.over(diff_media);
    diff.degraded_media = degraded_media.over(diff_media);
    filter.media = filter_media;
    noise.media = noise_media;

    orv::keep_freed_frame_planes();
    // Progress goes to standard error unless --quiet: rewritten in place on a terminal, a line
    // every 10 seconds otherwise.
    const bool progress = true;
    diff.common.progress = progress && !diff.report.quiet;
    diff.common.quiet = diff.report.quiet;
    diff.report.command_line.assign(argv, argv + argc);
    filter.common.progress = progress;
    noise.progress = progress;

    try {
        if (const auto status =
                orv::run_encode_commands(encode, argc, argv, isatty(STDERR_FILENO) != 0)) {
            return *status;
        }
        if (diff_command->parsed()) return orv::run_diff(diff);
        if (filter_command->parsed()) return orv::run_filter(filter);
        noise.sigma_red = sigmas.at(0);
        noise.sigma_green = sigmas.at(1);
        noise.sigma_blue = sigmas.at(2);
        if (seed >= 0) noise.seed = static_cast<std::uint32_t>(seed);
        return orv::run_noise(noise);
    } catch (const orv::Interrupted&) {
        report("interrupted: no half-written file is left");
        return 130;
    } catch (const orv::Failure& failure) {
        report(orv::failure_text(failure));
        // A viewing option beyond the profile's filters is a usage error found after loading.
        if (orv::is_viewing_refusal(failure.kind)) return 2;
        if (failure.kind == orv::FailureKind::svd_no_convergence)
            std::fputs("...now exiting to system...\n", stderr);
        return 1;
    } catch (const std::bad_alloc&) {
        return report("out of memory: the frames are too large for this machine (try --threads 1)");
    } catch (const std::exception& error) {
        return report(error.what());
    }
}
