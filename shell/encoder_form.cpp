#include "shell/encoder_form.h"

#include <charconv>
#include <cmath>

#include "media/media_sequence.h"
#include "numeric/failure.h"
#include "shell/failure_texts.h"

namespace orv {

namespace {

std::string available_encoder(int codec) {
    try {
        return find_encoder(encoder_form_codecs().at(static_cast<std::size_t>(codec)).name);
    } catch (const Failure&) {
        return {};
    }
}

}  // namespace

const std::vector<EncoderChoice>& encoder_form_codecs() {
    static const std::vector<EncoderChoice> codecs = {
        {"H.264/AVC", "h264"}, {"H.265/HEVC", "hevc"}, {"AV1", "av1"}};
    return codecs;
}

const std::vector<EncoderChoice>& encoder_form_rates() {
    static const std::vector<EncoderChoice> rates = {
        {"CRF (品質一定)", "crf"}, {"QP (量子化一定)", "qp"}, {"ビットレート (bps)", "bitrate"}};
    return rates;
}

const std::vector<EncoderChoice>& encoder_form_pixel_formats() {
    static const std::vector<EncoderChoice> formats = {{"4:2:0 (yuv420p)", "yuv420p"},
                                                       {"4:4:4 (yuv444p)", "yuv444p"}};
    return formats;
}

const std::vector<EncoderChoice>& encoder_form_matrices() {
    static const std::vector<EncoderChoice> matrices = {
        {"BT.601", "bt601"}, {"BT.709", "bt709"}, {"BT.2020", "bt2020"}};
    return matrices;
}

const std::vector<EncoderChoice>& encoder_form_ranges() {
    static const std::vector<EncoderChoice> ranges = {{"リミテッド (16-235)", "limited"},
                                                      {"フル (0-255)", "full"}};
    return ranges;
}

std::vector<std::string> encoder_form_presets(int codec) {
    const std::string encoder = available_encoder(codec);
    if (encoder.empty()) return {};
    return encode_presets(encoder);
}

std::string encoder_form_default_preset(int codec) {
    const std::string encoder = available_encoder(codec);
    return encoder.empty() ? std::string() : encode_default_preset(encoder);
}

std::string encoder_form_default_value(int rate) {
    switch (rate) {
        case 1:
            return "30";
        case 2:
            return "800k";
        default:
            return "23";
    }
}

std::string encoder_form_base(const std::string& output) {
    const std::string ending = ".mp4";
    if (output.size() > ending.size() &&
        output.compare(output.size() - ending.size(), ending.size(), ending) == 0) {
        return output.substr(0, output.size() - ending.size());
    }
    return output;
}

EncodeSettings encoder_form_settings(const EncoderForm& form) {
    if (form.inputs.empty()) raise_failure(FailureKind::no_encoder_inputs);
    if (form.output.empty()) raise_failure(FailureKind::no_encoder_output);
    EncodeSettings settings;
    settings.codec = encoder_form_codecs().at(static_cast<std::size_t>(form.codec)).name;
    settings.preset = form.preset;
    settings.pix_fmt =
        encoder_form_pixel_formats().at(static_cast<std::size_t>(form.pixel_format)).name;
    settings.matrix = encoder_form_matrices().at(static_cast<std::size_t>(form.matrix)).name;
    settings.range = encoder_form_ranges().at(static_cast<std::size_t>(form.range)).name;
    switch (form.rate) {
        case 1:
            settings.rate = RateControl::qp;
            break;
        case 2:
            settings.rate = RateControl::bitrate;
            break;
        default:
            settings.rate = RateControl::crf;
            break;
    }
    if (settings.rate == RateControl::bitrate) {
        settings.value = parse_bitrate(form.value);
    } else {
        double value = 0.0;
        const char* end = form.value.data() + form.value.size();
        const auto parsed = std::from_chars(form.value.data(), end, value);
        settings.value = parsed.ec == std::errc() && parsed.ptr == end ? value : NAN;
    }
    if (!std::isfinite(settings.value) ||
        (settings.rate == RateControl::bitrate && settings.value <= 0.0)) {
        raise_failure(FailureKind::value_not_a_number, {}, {form.value});
    }
    check_encode_settings(settings);
    return settings;
}

EncoderRunResult run_encoder_form(const EncoderForm& form, const EncodeProgress& progress) {
    const EncodeSettings settings = encoder_form_settings(form);
    // Any input the media library reads: BMP, image, video or raw files.
    std::vector<SequenceInput> inputs;
    for (const std::string& path : form.inputs) inputs.push_back({path, MediaOptions{}});
    MediaSequence sequence = open_media_sequence(inputs, 0);
    FrameSource source;
    source.count = sequence.count;
    source.read = [&sequence](int i) { return read_sequence_frame(sequence, i).pixels; };
    EncoderRunResult result;
    const std::string base = encoder_form_base(form.output);
    result.bitstream = base + ".mp4";
    result.summary = encode_and_decode(source, settings, base, result.decoded, progress);
    return result;
}

std::string encoder_result_text(const EncoderRunResult& result) {
    const EncodeSummary& s = result.summary;
    char rate[32];
    const auto end =
        std::to_chars(rate, rate + sizeof rate, s.bitrate / 1000.0, std::chars_format::fixed, 1);
    std::string text = "ビットストリーム: " + result.bitstream + "\n  " +
                       std::to_string(s.file_bytes) + " バイト (" + s.encoder + ", " +
                       std::string(rate, end.ptr) + " kbit/s)\n\nフレーム  種類  バイト数\n";
    for (const CodedFrame& f : s.frames) {
        text += "  " + std::to_string(f.index) + "  " + std::string(1, f.type) + "  " +
                std::to_string(f.bytes) + "\n";
    }
    text += "\n復号画像 (" + std::to_string(result.decoded.size()) +
            " 枚、色差画像 → 劣化画像 で読み込めます):\n";
    for (const std::string& path : result.decoded) text += "  " + path + "\n";
    return text;
}

std::string encoder_form_failure_text(const Failure& failure) {
    switch (failure.kind) {
        case FailureKind::unknown_codec:
        case FailureKind::codec_unavailable:
        case FailureKind::crf_out_of_range:
        case FailureKind::crf_whole_out_of_range:
        case FailureKind::qp_out_of_range:
        case FailureKind::bitrate_out_of_range:
        case FailureKind::unknown_preset:
        case FailureKind::gop_out_of_range:
        case FailureKind::unknown_pixel_format:
        case FailureKind::fps_out_of_range:
        case FailureKind::unknown_matrix:
        case FailureKind::unknown_range:
            return "設定が正しくありません:\n" + gui_failure_line(failure);
        default:
            return gui_failure_line(failure);
    }
}

}  // namespace orv
