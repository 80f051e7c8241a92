#pragma once
// 設定 → 観察条件: the viewer as an input in the GUI. The dialog's logic (its forms and presets,
// the pixels per degree shown as the fields change, 既定に戻す), the text the setting is
// remembered as between starts, the line of the lower-right quarter, and the pixel angle the
// colour-difference run and S_CIELAB measure with. No toolkit here: the Qt dialog
// (shell/qt/viewing_dialog_qt.*) shows this state and stores the text.

#include <string>
#include <vector>

#include "scielab/viewing.h"
#include "shell/frame_store.h"

namespace orv {

inline constexpr const char* viewing_dialog_name = "VIEWING_DLG";
inline constexpr const char* viewing_dialog_caption = "観察条件";
inline constexpr const char* viewing_default_button_text = "既定に戻す";

// How the viewing is given; the order of the dialog's choice.
enum class ViewingMode { standard, ppd, display, heights, preset };

// The choices' texts, in ViewingMode order.
const std::vector<std::string>& viewing_mode_texts();
// The presets' Japanese names, in viewing_presets() order.
const std::vector<std::string>& viewing_preset_texts();

// The labels of the value fields, in ViewingDialogState::fields order.
enum ViewingFieldIndex {
    field_ppd,
    field_width_cm,
    field_width_pixels,
    field_distance_cm,
    field_heights,
    field_height_pixels,
    viewing_field_count
};
const std::vector<std::string>& viewing_field_labels();

// What the dialog shows: the mode, every field's text and the preset chosen.
struct ViewingDialogState {
    ViewingMode mode = ViewingMode::standard;
    std::vector<std::string> fields = std::vector<std::string>(viewing_field_count);
    int preset = 0;  // index into viewing_presets()
};

// The state of the given options (the fields of other forms keep their defaults' figures so
// that a change of mode shows sensible values).
ViewingDialogState viewing_dialog_state(const ViewingOptions& options);
// 既定に戻す.
ViewingDialogState default_viewing_dialog_state();

// Which fields the mode uses (the others are disabled).
bool viewing_field_used(ViewingMode mode, int field);

// The options the state stands for; a field that is not a number raises
// Failure(value_not_a_number).
ViewingOptions viewing_dialog_options(const ViewingDialogState& state);

// What the dialog shows under the fields as they change: "68.66 画素/度 (視角 0.0145651°)", or
// the Japanese refusal of the values (checked against the filters when they are set).
std::string viewing_preview(const ViewingDialogState& state, const FrameStore& store);

// The setting as it is remembered between starts: "" (the fixed geometry), "ppd=40",
// "display=59.8,3840,60", "heights=3,2160" or "preset=phone"; read back by
// parse_viewing_setting, which gives the fixed geometry for a text it cannot use (an old or
// damaged setting never stops the program from starting).
std::string viewing_setting_text(const ViewingOptions& options);
ViewingOptions parse_viewing_setting(const std::string& text);

// The pixel angle a run measures with: the store's options checked against its filters.
ViewingGeometry store_viewing_geometry(const FrameStore& store);

// The lower-right quarter's line: empty for the fixed geometry, else
// "観察条件: 67.24 画素/度 (desktop27-4k)".
std::string viewing_quarter_line(const FrameStore& store);

}  // namespace orv
