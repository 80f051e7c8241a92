#pragma once
// The program-wide frame store: 1000 slots of reference and degraded frames, their results,
// the view values of the panes, the profile-data folder and the command flags.

#include <array>
#include <memory>
#include <string>

#include "colour/colour_types.h"
#include "image/bmp_file.h"
#include "image/pixel_buffer.h"
#include "measure/display_tags.h"
#include "measure/reference_store.h"
#include "report/run_record.h"
#include "scielab/conditions.h"
#include "scielab/filter_kernels.h"
#include "scielab/viewing.h"

namespace orv {

constexpr int max_frames = 1000;
constexpr int path_length = 260;

struct DeepSource {
    std::string path;
    int frame = 0;
};

struct FrameStore {
    std::array<PixelBuffer, max_frames> reference_pixels;
    std::array<PixelBuffer, max_frames> degraded_pixels;
    std::array<HeaderBlock, max_frames> frame_headers;
    std::array<int, max_frames> frame_width{};
    std::array<int, max_frames> frame_height{};
    std::array<int, max_frames> frame_stride{};
    std::array<std::string, max_frames> reference_names;
    // Frame of that file in each slot: 0 for a BMP or image file, the frame number for a video.
    std::array<int, max_frames> reference_frame_index{};
    // Each slot's frame as the difference table names it (the file, and "#N" for a frame of a
    // file holding several), and the files each sequence was loaded from with how their pixels
    // became RGB (empty for a degraded sequence the noise degradation made).
    std::array<std::string, max_frames> reference_frame_names;
    std::array<std::string, max_frames> degraded_frame_names;
    std::vector<InputFile> reference_files;
    std::vector<InputFile> degraded_files;
    // Where each slot's frame came from when its file holds more than 8 bits a sample (the
    // file, and the frame's number in it): the panes show the 8-bit pixels, and a
    // colour-difference run reads the exact values from the file again (empty path: the
    // 8-bit pixels are the values).
    std::array<DeepSource, max_frames> reference_deep;
    std::array<DeepSource, max_frames> degraded_deep;
    // The streams' transfer and primaries tags of each sequence's media files, which choose
    // the display a run measures with (measure/display_tags.h).
    std::vector<StreamTags> reference_tags;
    std::vector<StreamTags> degraded_tags;
    std::array<PixelBuffer, max_frames> scielab_pixels;
    std::array<PixelBuffer, max_frames> diff_pixels;
    std::array<InterleavedImage, max_frames> diff_results;
    // The 95th percentile of each difference map, taken while the map is made (the maps
    // themselves may live on disk); diff_p95_known[i] says whether slot i has one.
    std::array<double, max_frames> diff_p95{};
    std::array<bool, max_frames> diff_p95_known{};

    int reference_count = 0;
    int degraded_count = 0;
    std::string degraded_name;
    // Where the degraded sequence came from, for the lower-right quarter: the last file
    // loaded, or the noise degradation that made it.
    std::string degraded_origin;
    // The σ of red, green, blue the noise degradation used, and its seed (-1: the tick count
    // before each channel pass), for the export's record.
    std::array<double, 3> noise_sigma{};
    long long noise_seed = -1;
    int current_frame = 0;
    int cursor_x = 0;
    int cursor_y = 0;
    // The pointer is over a pane but outside the picture: the readouts show nothing.
    bool cursor_outside = false;
    double display_scale = 0.0;
    // View settings (表示 menu): fit each frame into its pane instead of the scale rule; show
    // the lower pane's difference map as a heatmap instead of the grey picture.
    bool fit_to_pane = false;
    bool heatmap_view = false;
    // Zoom of the three panes (0: off, the scale rule or the fit view) and, while zoomed, the
    // image pixel at the panes' top left (view menu, Ctrl+wheel, dragging).
    double zoom = 0.0;
    int view_x = 0;
    int view_y = 0;
    // Flicker: the upper-left pane shows the degraded frame in place of the reference.
    bool flicker_degraded = false;
    // Threshold overlay: the degraded picture's pixels whose difference exceeds it are
    // tinted (< 0: off); the tinted picture of overlay_slot, made for overlay_made_for.
    double overlay_threshold = -1.0;
    PixelBuffer overlay_pixels;
    int overlay_slot = -1;
    double overlay_made_for = -1.0;
    const double* overlay_source = nullptr;
    // The lower pane's heatmap of the slot shown (made on demand from that slot's result).
    PixelBuffer heatmap_pixels;
    int heatmap_slot = -1;
    const double* heatmap_source = nullptr;
    std::string profile_folder;
    std::string start_directory;
    AtdFilters atd_filters;
    // 設定 → 観察条件 (none: the fixed geometry); remembered between starts by the window layer.
    ViewingOptions viewing;
    // The conditions the last colour-difference run measured with (what an export records).
    MeasurementConditions measured_conditions;

    int image_loaded = 0;
    int degraded_ready = 0;
    int atd_filter_set = 0;
    int scielab_done = 0;
    int diff_ready = 0;
    // Counts changes of what a measurement depends on (a sequence loaded or made, the profile
    // folder, the filters); measured_changes is its value when the colour-difference images
    // were made, so an export never names other inputs than the ones measured.
    int input_changes = 0;
    int measured_changes = -1;
    // Counts loads of the reference sequence (its slots replaced); the reference coordinates
    // kept between colour-difference runs belong to one value of it and to the conditions
    // they were made with, and serve the next run against another degraded sequence.
    int reference_changes = 0;
    std::unique_ptr<ReferenceStore> reference_store = std::make_unique<ReferenceStore>();
};

// The one store of the application.
FrameStore& frame_store();
// Back to the start state (every slot empty, every value and flag as at start).
void reset_frame_store(FrameStore& store);

void release_frame_slot(PixelBuffer& pixels, HeaderBlock& header);

// Forgets the colour-difference results (pictures, maps, figures, the heatmap shown): they
// belong to the pair of sequences they were measured from, and one of them is being replaced.
void clear_measurement(FrameStore& store);
void advance_frame(FrameStore& store);

// Slot of a sequence of `count` frames shown for `frame`: the frame itself, or the last frame
// of a shorter sequence; -1 when the sequence is empty.
int pane_slot(int frame, int count);

// Slot drawn for current_frame by each pane. The left and right panes give -1 while their
// sequence is empty (count 0): there is no slot to draw.
int left_pane_slot(const FrameStore& store);
int right_pane_slot(const FrameStore& store);
int lower_pane_slot(const FrameStore& store);

// Start-up: start_directory and profile_folder from `current_directory`, every slot released.
void start_frame_store(FrameStore& store, const std::string& current_directory);
// Shutdown: every reference slot released.
void shut_down_frame_store(FrameStore& store);

}  // namespace orv
