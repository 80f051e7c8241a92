#include "cli/encode_commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>

#include "cli/rd_measure.h"
#include "cli/rd_resume.h"
#include "cli/run_checks.h"
#include "cli/viewing_options.h"
#include "encode/bitstream_info.h"
#include "image/file_names.h"
#include "image/output_file.h"
#include "measure/inputs.h"
#include "measure/sequence_runner.h"
#include "measure/shared_reference.h"
#include "measure/statistics.h"
#include "media/media_sequence.h"
#include "media/media_text.h"
#include "numeric/failure.h"
#include "report/rd_report.h"
#include "scielab/filter_kernels.h"
#include "scielab/pipeline.h"

namespace orv {

namespace {

constexpr const char* rate_footer =
    "Rate control: exactly one of --crf, --qp, --bitrate. CRF and QP run from 0 to 51 for\n"
    "h264 and hevc and from 0 to 63 (whole numbers) for av1; a bitrate is bits per second,\n"
    "with k or M for thousands or millions (800k, 1.5M). Presets: ultrafast ... placebo for\n"
    "h264 and hevc, the speed 0 (slowest) to 8 for av1 (libaom). Frames are converted to YUV\n"
    "with the BT.709 matrix and limited range unless --matrix and --range say otherwise, and\n"
    "the stream is tagged with them. With yuv420p the width and height must be even: odd\n"
    "sizes are refused, not padded (use --pix-fmt yuv444p). Encoders run on one thread, so\n"
    "the same input and settings always give the same bitstream, byte for byte.\n";

void add_settings(CLI::App& command, EncodeSettings& settings, RateOptions& rate, bool lists,
                  CLI::Option* codecs = nullptr) {
    CLI::Option_group* group = command.add_option_group("rate control");
    CLI::Option* crf = group->add_option("--crf", rate.crf, "Constant rate factor")->type_name("Q");
    CLI::Option* qp = group->add_option("--qp", rate.qp, "Constant quantiser")->type_name("Q");
    CLI::Option* bitrate =
        group->add_option("--bitrate", rate.bitrate, "Average bitrate, bits per second (800k)")
            ->type_name("RATE");
    for (CLI::Option* option : {crf, qp, bitrate}) {
        if (lists)
            option->expected(1, CLI::detail::expected_max_vector_size);
        else
            option->expected(1);
    }
    // With rd, rate control belongs to --codec, which --bitstreams alone does without.
    if (codecs == nullptr) {
        group->require_option(1);
    } else {
        group->require_option(0, 1);
    }
    command.add_option("--preset", settings.preset, "Encoder preset (default: medium; av1: 6)")
        ->type_name("NAME");
    command
        .add_option("--gop", settings.gop,
                    "Largest distance between key frames (default: the encoder's own)")
        ->type_name("N");
    command
        .add_option("--pix-fmt", settings.pix_fmt,
                    "yuv420p, yuv444p, or yuv420p10le and yuv444p10le (10 bits: inputs of more "
                    "than 8 bits are converted without going through 8 bits)")
        ->type_name("FMT")
        ->capture_default_str();
    command.add_option("--fps", settings.fps, "Frame rate of the stream")
        ->type_name("F")
        ->capture_default_str();
    command.add_option("--matrix", settings.matrix, "RGB to YUV matrix: bt601, bt709, bt2020")
        ->type_name("NAME")
        ->capture_default_str();
    command.add_option("--range", settings.range, "YUV range: limited or full")
        ->type_name("NAME")
        ->capture_default_str();
    command
        .add_option("--x264-params", settings.x264_params,
                    "libx264's own options, key=value:key=value (passed through)")
        ->type_name("OPTS");
    command
        .add_option("--x265-params", settings.x265_params,
                    "libx265's own options, key=value:key=value (passed through)")
        ->type_name("OPTS");
    command
        .add_option("--aom-params", settings.aom_params,
                    "libaom's own options, key=value:key=value (passed through)")
        ->type_name("OPTS");
    command
        .add_option("--svtav1-params", settings.svtav1_params,
                    "SVT-AV1's own options, key=value:key=value (passed through)")
        ->type_name("OPTS");
    command
        .add_option("--tune", settings.tune, "The encoder's tune option (film, ssim, psnr, ...)")
        ->type_name("NAME");
    command
        .add_option("--passes", settings.passes,
                    "2: two-pass encoding at the target --bitrate (libx264, libx265, libaom)")
        ->type_name("N")
        ->check(CLI::Range(1, 2))
        ->capture_default_str();
    command
        .add_option("--transfer", settings.transfer,
                    "Transfer tag of the stream: bt709, pq or hlg (default: the matrix's own); "
                    "the pixels are taken as they are")
        ->type_name("NAME");
}

// The settings of each rate value given, in order.
std::vector<EncodeSettings> settings_of(const EncodeSettings& base, const RateOptions& rate) {
    std::vector<EncodeSettings> all;
    auto add = [&](RateControl control, double value) {
        EncodeSettings s = base;
        s.rate = control;
        s.value = value;
        all.push_back(s);
    };
    for (double v : rate.crf) add(RateControl::crf, v);
    for (double v : rate.qp) add(RateControl::qp, v);
    for (const std::string& text : rate.bitrate) {
        const double value = parse_bitrate(text);
        if (value <= 0.0) {
            raise_failure(FailureKind::bitrate_not_a_rate, {}, {text});
        }
        add(RateControl::bitrate, value);
    }
    return all;
}

FrameSource input_frames(const RunSide& side) {
    FrameSource source;
    source.count = side.count;
    source.read = [&side](int i) {
        stop_if_interrupted();
        return side.read(i).owned;
    };
    source.read_with_signal = [&side](int i, SignalFrame& signal) {
        stop_if_interrupted();
        RunFrame frame = side.read(i);
        signal = std::move(frame.signal);
        return std::move(frame.owned);
    };
    return source;
}

void write_text_file(const std::string& path, const std::string& text) {
    write_whole_file(path, text);
}

void print_point(const RdPoint& point) {
    const EncodeSettings& settings = point.settings;
    std::printf("%s %s: %lld bytes, %s kbit/s, mean %s, median %s, p95 %s, max %s\n",
                settings.codec.c_str(), point_setting(point).c_str(), point.stream_bytes,
                fixed_text(point.bitrate / 1000.0, 1).c_str(),
                fixed_text(point.pooled.mean, 4).c_str(),
                fixed_text(point.pooled.median, 4).c_str(), fixed_text(point.pooled.p95, 4).c_str(),
                fixed_text(point.pooled.max, 4).c_str());
    std::fflush(stdout);
}

// Files a run made, removed again unless it completes.
struct RunFiles {
    std::vector<std::string> paths;
    bool keep = false;
    ~RunFiles() {
        if (keep) return;
        for (const std::string& path : paths) ::unlink(path.c_str());
    }
};

}  // namespace

void add_encode_commands(CLI::App& app, EncodeCommands& commands) {
    EncodeOptions& e = commands.encode_options;
    commands.encode = app.add_subcommand(
        "encode", "Encode frames into BASE.mp4 with H.264, H.265 or AV1 and decode them back");
    commands.encode->footer(
        std::string(
            "Writes BASE.mp4 and the decoded frames BASE_0000.bmp, BASE_0001.bmp, ... (the\n"
            "degraded sequence), and prints each coded picture (frame, type I/P/B, bytes),\n"
            "the total size and the bitrate. No output is overwritten; a failed run leaves\n"
            "none of its files behind.\n\n") +
        rate_footer);
    commands.encode->add_option("--codec", e.settings.codec, "h264, hevc or av1")
        ->type_name("NAME")
        ->required();
    add_settings(*commands.encode, e.settings, e.rate, false);
    commands.encode
        ->add_option("--primaries", e.settings.primaries,
                     "Primaries tag of the stream: bt709 or bt2020 (default: the matrix's own)")
        ->type_name("NAME");
    commands.encode->add_option("--out", e.out, "Base name of the outputs")
        ->type_name("BASE")
        ->required();
    commands.encode->add_option("files", e.files, "Frames, in order")
        ->type_name("FILE")
        ->required();

    RdOptions& r = commands.rd_options;
    r.common.threads = machine_threads();
    commands.rd = app.add_subcommand(
        "rd", "Rate-distortion: encode at several settings and measure each against the input");
    commands.rd->footer(
        std::string(
            "For each codec and setting: encode into DIR/CODEC_SETTING.mp4, decode, and\n"
            "measure every decoded frame against its input with S-CIELAB (as diff does).\n"
            "Writes DIR/rd.csv (codec,setting,bytes,bitrate,mean,median,p95,max), DIR/rd.json\n"
            "and DIR/rd.html (bitrate against pooled mean and 95th percentile, one curve per\n"
            "codec). Pooled figures: mean of the frame means, nearest-rank median and 95th\n"
            "percentile of every pixel's difference, largest pixel difference. FILE may be\n"
            "any input diff reads (BMP, image, video, raw).\n\n") +
        rate_footer);
    CLI::Option* codecs =
        commands.rd->add_option("--codec", r.codecs, "One or more of h264, hevc, av1")
            ->type_name("NAME");
    add_settings(*commands.rd, r.settings, r.rate, true, codecs);
    CLI::Option* bitstreams =
        commands.rd
            ->add_option("--bitstreams", r.bitstreams,
                         "Existing encodes of the frames (any encoder), each a point of one "
                         "curve; repeat the option for more curves")
            ->type_name("FILE")
            ->expected(1, CLI::detail::expected_max_vector_size);
    commands.rd
        ->add_option("--label", r.labels,
                     "The curve name of each --bitstreams set, in order (default: bitstreams)")
        ->type_name("NAME");
    commands.rd
        ->add_option("--metrics", r.metrics,
                     "Also measure PSNR and SSIM (psnr, ssim or psnr,ssim) of every point as "
                     "diff --metrics does: their means in rd.csv, rd.json and rd.html, psnr_y in "
                     "bd.csv")
        ->type_name("LIST");
    CLI::App* rate_group = commands.rd->get_option_group("rate control");
    commands.rd->callback([codecs, bitstreams, rate_group] {
        if (codecs->count() == 0 && bitstreams->count() == 0) {
            throw CLI::RequiredError("--codec or --bitstreams");
        }
        if (codecs->count() > 0 && rate_group->count_all() == 0) {
            throw CLI::ValidationError("--codec needs one of --crf, --qp, --bitrate");
        }
        if (codecs->count() == 0 && rate_group->count_all() > 0) {
            throw CLI::ValidationError("--crf, --qp and --bitrate need --codec");
        }
    });
    commands.rd->add_option("--profile", r.common.profile, "Profile-data folder")
        ->type_name("DIR")
        ->capture_default_str();
    commands.rd->add_option("--threads", r.common.threads, "Frames measured in parallel")
        ->type_name("N")
        ->check(CLI::Range(1, 1024));
    add_viewing_options(*commands.rd, r.common.viewing);
    commands.rd->add_option("--out", r.out, "Output folder (made if missing)")
        ->type_name("DIR")
        ->required();
    commands.rd->add_option("files", r.files, "Frames, in order")->type_name("FILE")->required();
    commands.rd->add_flag("--resume", r.resume,
                          "Continue an interrupted run: keep the points whose bitstream and "
                          "figures (CODEC_SETTING.json) are in DIR, measure the kept encodes "
                          "without encoding them again, encode and measure the others");

    BdOptions& b = commands.bd_options;
    commands.bd = app.add_subcommand(
        "bd", "Bjøntegaard delta (BD-rate, BD-delta) between curves of saved rd.csv tables");
    commands.bd->footer(
        "Prints anchor,test,metric,bd_rate_percent,bd_delta (as rd writes bd.csv) for the\n"
        "figures mean and p95 (and psnr_y when both tables have it). A curve is FILE:CODEC;\n"
        "without :CODEC the anchor is the table's first curve and a test every curve of its\n"
        "table but the anchor. PCHIP interpolation, exact integration over the overlap;\n"
        "BD-rate from log10(bitrate) over the figure, BD-delta from the figure over\n"
        "log10(bitrate). Curves of fewer than 4 points or without overlap give an empty\n"
        "cell and a warning on standard error.");
    commands.bd->add_option("--anchor", b.anchor, "The anchor curve")
        ->type_name("RD.csv[:CODEC]")
        ->required();
    commands.bd->add_option("--test", b.tests, "The curves compared with it")
        ->type_name("RD.csv[:CODEC]")
        ->required();
}

std::optional<int> run_encode_commands(EncodeCommands& commands, int argc, char** argv,
                                       bool progress) {
    if (commands.encode != nullptr && commands.encode->parsed()) {
        commands.encode_options.progress = progress;
        return run_encode(commands.encode_options);
    }
    if (commands.rd != nullptr && commands.rd->parsed()) {
        commands.rd_options.common.progress = progress;
        commands.rd_options.common.profile_default = commands.rd->count("--profile") == 0;
        commands.rd_options.command.assign(argv, argv + argc);
        return run_rd(commands.rd_options);
    }
    if (commands.bd != nullptr && commands.bd->parsed()) {
        return run_bd(commands.bd_options);
    }
    return std::nullopt;
}

int run_encode(const EncodeOptions& options) {
    quiet_codec_libraries();
    const std::vector<EncodeSettings> all = settings_of(options.settings, options.rate);
    const EncodeSettings& settings = all.at(0);
    check_encode_settings(settings);

    catch_interruptions();
    const FrameProgress frames = stoppable(frame_progress(options.progress));
    const EncodeProgress progress = [frames](int done, int total) { frames(done, total); };
    const RunSide inputs = open_inputs(options.files);
    warn_of_other_rate(inputs, settings.fps);
    std::vector<std::string> decoded;
    const EncodeSummary summary =
        encode_and_decode(input_frames(inputs), settings, options.out, decoded, progress);

    const std::string preset =
        settings.preset.empty() ? encode_default_preset(summary.encoder) : settings.preset;
    std::printf("%s, preset %s, %s, %s, %s %s range, %s fps\n", summary.encoder.c_str(),
                preset.c_str(), setting_label(settings).c_str(), settings.pix_fmt.c_str(),
                settings.matrix.c_str(), settings.range.c_str(),
                fixed_text(settings.fps, 3).c_str());
    std::printf("frame type bytes\n");
    for (const CodedFrame& f : summary.frames) {
        std::printf("%5d    %c %lld\n", f.index, f.type, f.bytes);
    }
    std::printf("total %lld bytes in %zu frames (%s: %lld bytes), %s kbit/s\n",
                summary.stream_bytes, summary.frames.size(), (options.out + ".mp4").c_str(),
                summary.file_bytes, fixed_text(summary.bitrate / 1000.0, 1).c_str());
    std::printf("decoded frames: %s ... %s\n", decoded.front().c_str(), decoded.back().c_str());
    return 0;
}

// Bitstreams measured in one pass: each open bitstream keeps its decoder's state (about 60 MB
// for full-HD H.264) for the whole pass, so a long list is measured in groups.
constexpr std::size_t bitstreams_per_pass = 4;

int run_rd(const RdOptions& given) {
    quiet_codec_libraries();
    if (given.common.profile_default) check_profile_present(given.common.profile);
    if (!given.metrics.empty()) parse_metrics(given.metrics);  // refused before any encode
    // --primaries bt709 / bt2020 tags the streams as well as choosing the measurement's
    // primaries; --transfer pq / hlg measures on that display unless --display says otherwise.
    RdOptions options = given;
    const DisplayPrimaries primaries =
        options.common.degraded_display.primaries.value_or(options.common.display.primaries);
    if (primaries == DisplayPrimaries::bt709 || primaries == DisplayPrimaries::bt2020) {
        options.settings.primaries = std::string(primaries_name(primaries));
    }
    if (!options.common.display_given) {
        if (options.settings.transfer == "pq")
            options.common.display.transfer = DisplayTransfer::pq;
        if (options.settings.transfer == "hlg") {
            options.common.display.transfer = DisplayTransfer::hlg;
        }
    }
    const RunSide counted = open_inputs(options.files);
    const int count = counted.count;
    if (!options.codecs.empty()) warn_of_other_rate(counted, options.settings.fps);
    std::vector<EncodeSettings> all;
    for (const std::string& codec : options.codecs) {
        EncodeSettings base = options.settings;
        base.codec = codec;
        for (const EncodeSettings& s : settings_of(base, options.rate)) {
            check_encode_settings(s);
            all.push_back(s);
        }
    }

    // The conditions (and so the viewing limits) are checked before the folder is made, so that
    // a refused run leaves nothing behind.
    const MeasurementConditions conditions = load_profile_conditions(options.common);
    const std::filesystem::path folder(options.out);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder)) {
        raise_failure(FailureKind::cannot_make_folder, options.out, {},
                      error ? error.message() : std::string());
    }
    auto in_folder = [&](const std::string& name) { return (folder / name).string(); };
    std::vector<std::string> outputs = {in_folder("rd.csv"), in_folder("rd.json"),
                                        in_folder("rd.html")};
    std::vector<std::string> bitstreams, figure_files;
    std::vector<std::optional<RdPoint>> resumed(all.size());       // measured before
    std::vector<std::optional<EncodedPoint>> encoded(all.size());  // encoded, not measured
    RdRun run;
    for (std::size_t k = 0; k < all.size(); ++k) {
        const EncodeSettings& s = all[k];
        const std::string stem = s.codec + "_" + setting_label(s);
        bitstreams.push_back(in_folder(stem + ".mp4"));
        figure_files.push_back(in_folder(stem + ".json"));
        if (options.resume && std::filesystem::exists(bitstreams.back())) {
            resumed[k] = read_rd_point(figure_files.back(), s, run.width, run.height);
            if (!resumed[k]) encoded[k] = read_rd_encoded(figure_files.back(), s);
        }
        if (resumed[k]) {
            resumed[k]->bitstream = bitstreams.back();
        } else if (encoded[k]) {
            encoded[k]->point.bitstream = bitstreams.back();
        } else {
            outputs.push_back(bitstreams.back());
            outputs.push_back(figure_files.back());
        }
    }
    const std::string bd_path = in_folder("bd.csv");
    outputs.push_back(bd_path);
    refuse_existing_outputs(outputs);
    outputs.pop_back();

    run.command = options.command;
    run.profile = options.common.profile;
    run.viewing = conditions.viewing;
    run.inputs = options.files;
    catch_interruptions();
    RunFiles made;      // this run's files of the encode in hand and the rd files
    RunFiles finished;  // the encodes and points finished by this run: kept when interrupted
    // ORV's own encodes, a few to a pass over the reference frames: each point of a group is
    // encoded and kept with the record of its encode, then the group is measured in one pass
    // (each reference frame filtered once for all its points) and each point's record is
    // replaced by its figures. An interrupted run keeps every complete encode.
    std::vector<RdPoint> group;
    std::vector<std::vector<CodedFrame>> group_coded;
    std::vector<std::size_t> group_index;
    auto measure_group = [&] {
        if (group.empty()) return;
        measure_points(group, group_coded, options, conditions, count,
                       FailureKind::decoded_count_mismatch, run);
        for (std::size_t g = 0; g < group.size(); ++g) {
            replace_whole_file(figure_files[group_index[g]],
                               rd_point_text(group[g], run.width, run.height));
            print_point(group[g]);
            run.points.push_back(std::move(group[g]));
        }
        group.clear();
        group_coded.clear();
        group_index.clear();
    };
    try {
        for (std::size_t k = 0; k < all.size(); ++k) {
            if (resumed[k]) {
                measure_group();
                print_point(*resumed[k]);
                // Saved PSNR and SSIM count only when this run asks for them.
                if (options.metrics.empty()) {
                    resumed[k]->metric_columns.clear();
                    resumed[k]->metrics.clear();
                } else if (run.metric_columns.empty()) {
                    run.metric_columns = resumed[k]->metric_columns;
                }
                run.points.push_back(std::move(*resumed[k]));
                continue;
            }
            if (!encoded[k]) {
                EncodedPoint point;
                point.point.settings = all[k];
                point.point.bitstream = bitstreams[k];
                const RunSide encoder_inputs = open_inputs(options.files);
                EncodeSummary summary =
                    encode_sequence(input_frames(encoder_inputs), point.point.settings,
                                    point.point.bitstream, stoppable({}));
                made.paths.push_back(point.point.bitstream);
                point.point.encoder = summary.encoder;
                point.point.stream_bytes = summary.stream_bytes;
                point.point.file_bytes = summary.file_bytes;
                point.point.bitrate = summary.bitrate;
                point.coded = std::move(summary.frames);
                write_whole_file(figure_files[k], rd_encoded_text(point.point, point.coded));
                made.paths.pop_back();
                finished.paths.push_back(point.point.bitstream);
                finished.paths.push_back(figure_files[k]);
                encoded[k] = std::move(point);
            }
            group.push_back(std::move(encoded[k]->point));
            group_coded.push_back(std::move(encoded[k]->coded));
            group_index.push_back(k);
            if (group.size() == bitstreams_per_pass) measure_group();
        }
        measure_group();
    } catch (const Interrupted&) {
        finished.keep = true;
        throw;
    }
    // Existing bitstreams: each set one curve named by its label, each file one point, all
    // measured in one pass over the reference frames.
    std::vector<RdPoint> existing;
    std::vector<std::vector<CodedFrame>> existing_coded;
    for (std::size_t set = 0; set < options.bitstreams.size(); ++set) {
        const std::string label = set < options.labels.size() ? options.labels[set] : "bitstreams";
        for (const std::string& path : options.bitstreams[set]) {
            RdPoint point;
            point.settings.codec = label;
            point.existing = std::filesystem::path(path).filename().string();
            point.bitstream = path;
            EncodeSummary summary = read_bitstream_packets(path);
            point.encoder = summary.encoder;
            point.stream_bytes = summary.stream_bytes;
            point.file_bytes = summary.file_bytes;
            point.bitrate = summary.bitrate;
            existing.push_back(std::move(point));
            existing_coded.push_back(std::move(summary.frames));
        }
    }
    for (std::size_t first = 0; first < existing.size(); first += bitstreams_per_pass) {
        const std::size_t last = std::min(existing.size(), first + bitstreams_per_pass);
        const auto from = static_cast<std::ptrdiff_t>(first);
        const auto to = static_cast<std::ptrdiff_t>(last);
        std::vector<RdPoint> group(std::make_move_iterator(existing.begin() + from),
                                   std::make_move_iterator(existing.begin() + to));
        const std::vector<std::vector<CodedFrame>> group_coded(existing_coded.begin() + from,
                                                               existing_coded.begin() + to);
        measure_points(group, group_coded, options, conditions, count,
                       FailureKind::bitstream_count_mismatch, run);
        std::move(group.begin(), group.end(), existing.begin() + from);
    }
    for (RdPoint& point : existing) {
        print_point(point);
        run.points.push_back(std::move(point));
    }

    write_text_file(outputs[0], rd_csv(run));
    made.paths.push_back(outputs[0]);
    write_text_file(outputs[1], rd_json(run));
    made.paths.push_back(outputs[1]);
    write_text_file(outputs[2], rd_html(run));
    made.paths.push_back(outputs[2]);
    const std::vector<BdRow> bd = rd_bd_rows(run);
    if (!bd.empty()) {
        write_text_file(bd_path, bd_csv(bd));
        for (const std::string& line : bd_warnings(bd)) {
            std::fprintf(stderr, "warning: %s\n", line.c_str());
        }
    }
    made.keep = true;
    finished.keep = true;
    std::printf("wrote %s, %s, %s%s\n", outputs[0].c_str(), outputs[1].c_str(), outputs[2].c_str(),
                bd.empty() ? "" : (", " + bd_path).c_str());
    return 0;
}

}  // namespace orv
