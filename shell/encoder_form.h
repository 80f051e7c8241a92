#pragma once
// The logic of ORV's encoder window, free of any toolkit: the choices it offers, the texts it
// shows, and the run behind its "開始" button. The Qt layer only builds the widgets and hands
// their contents over.

#include <string>
#include <vector>

#include "encode/encoder.h"
#include "numeric/failure.h"

namespace orv {

struct EncoderForm {
    std::vector<std::string> inputs;  // frames in the order chosen
    int codec = 0;                    // index into encoder_form_codecs()
    int rate = 0;                     // index into encoder_form_rates()
    std::string value = "23";         // CRF, QP or bitrate as typed (800k)
    std::string preset;               // empty: the codec's default
    int pixel_format = 0;             // index into encoder_form_pixel_formats(): yuv420p
    int matrix = 1;                   // index into encoder_form_matrices(): BT.709
    int range = 0;                    // index into encoder_form_ranges(): limited
    std::string output;               // the chosen save path; ".mp4" is taken off for the base
};

struct EncoderChoice {
    std::string label;  // shown
    std::string name;   // codec name, or rate control
};

const std::vector<EncoderChoice>& encoder_form_codecs();
const std::vector<EncoderChoice>& encoder_form_rates();
// The pixel formats, YUV matrices and ranges of the bitstream, in the order shown.
const std::vector<EncoderChoice>& encoder_form_pixel_formats();
const std::vector<EncoderChoice>& encoder_form_matrices();
const std::vector<EncoderChoice>& encoder_form_ranges();
// The presets of the codec at `codec` on this machine (empty when it has no encoder), and the
// default among them.
std::vector<std::string> encoder_form_presets(int codec);
std::string encoder_form_default_preset(int codec);
// A sensible value to show when the rate control changes: CRF 23, QP 30, 800k.
std::string encoder_form_default_value(int rate);

// The base name of the outputs: the chosen path without ".mp4" (any other ending is kept).
std::string encoder_form_base(const std::string& output);

// The settings the form describes; raises a Failure for a missing input, output or an
// unreadable value, and the encoder's own refusal of an out-of-range one.
EncodeSettings encoder_form_settings(const EncoderForm& form);

struct EncoderRunResult {
    EncodeSummary summary;
    std::string bitstream;
    std::vector<std::string> decoded;
};

// Reads the inputs (BMP files), encodes, decodes, writes BASE.mp4 and BASE_NNNN.bmp.
EncoderRunResult run_encoder_form(const EncoderForm& form, const EncodeProgress& progress);

// The text shown after a run: the bitstream with its size and bitrate, the per-frame table
// and the decoded files, ready for 色差画像 → 劣化画像.
std::string encoder_result_text(const EncoderRunResult& result);

// The text of the message box for a failure of the form or its run: the settings' refusals
// under "設定が正しくありません:", the others as the GUI words them, with the file named.
std::string encoder_form_failure_text(const Failure& failure);

}  // namespace orv
