#include "shell/sequence_dialogs.h"

#include "shell/slot_memory.h"

namespace orv {

namespace {

FileDialogRequest sequence_dialog_request(Window owner, const char* title, bool multiple) {
    FileDialogRequest request;
    request.owner = owner;
    request.title = title;
    // Open also offers the video and image files; save writes BMP files only.
    request.filters = multiple ? open_file_types() : sequence_file_types();
    request.default_extension = sequence_default_extension;
    request.start_text = file_name_buffer();
    request.multiple = multiple;
    return request;
}

// The reader's and the writer's messages: no owner, the path as caption, an OK button.
void show_file_message(Platform& platform, const FileMessage& message) {
    MessageRequest request;
    request.owner = Window::none;
    request.text = message.text;
    request.caption = message.caption;
    request.buttons = MessageButtons::ok;
    request.icon = MessageIcon::none;
    request.topmost = false;
    platform.message_box(request);
}

}  // namespace

const std::vector<FileTypeFilter>& sequence_file_types() {
    static const std::vector<FileTypeFilter> types = {
        {"BMP files(*.bmp)", "*.bmp"},
        {"MSI Files(*.001)", "*.001"},
        {"All Files(*.*)", "*.*"},
    };
    return types;
}

const std::vector<FileTypeFilter>& open_file_types() {
    static const std::vector<FileTypeFilter> types = [] {
        std::vector<FileTypeFilter> list = sequence_file_types();
        list.push_back({"動画ファイル(*.mp4 *.mkv *.mov *.avi *.webm *.y4m *.m4v *.ts)",
                        "*.mp4 *.mkv *.mov *.avi *.webm *.y4m *.m4v *.ts"});
        list.push_back(
            {"画像ファイル(*.png *.tif *.tiff *.jpg *.jpeg)", "*.png *.tif *.tiff *.jpg *.jpeg"});
        return list;
    }();
    return types;
}

std::string& file_name_buffer() {
    static std::string buffer;
    return buffer;
}

std::string file_name_text_of(const std::vector<std::string>& paths) {
    if (paths.empty()) return {};
    if (paths.size() == 1) return paths.front();
    // Several files: the buffer starts with their folder, which is all a later dialog sees.
    const std::string& first = paths.front();
    const std::size_t cut = first.find_last_of("/\\");
    if (cut == std::string::npos) return {};
    return cut == 0 ? first.substr(0, 1) : first.substr(0, cut);
}

int open_frame_sequence(FrameStore& store, Platform& platform, Window owner, SequenceTable table) {
    const auto answer =
        platform.open_files(sequence_dialog_request(owner, open_dialog_title, true));
    if (!answer || answer->empty()) return 0;
    file_name_buffer() = file_name_text_of(*answer);
    return load_sequence_files(store, platform, owner, *answer, table);
}

int load_sequence_files(FrameStore& store, Platform& platform, Window owner,
                        const std::vector<std::string>& paths, SequenceTable table) {
    if (paths.empty()) return 0;
    if (!check_room(platform, owner, load_need(store, paths, table == SequenceTable::reference))) {
        return 0;
    }
    const bool measured = store.diff_ready > 0;
    const SequenceLoad load = load_frame_sequence(store, paths, table);
    if (load.failed) {
        // The measurement shown is gone even though the load failed: the panes show so.
        if (measured) platform.invalidate(Window::main, true);
        show_file_message(platform, load.message);
        return 0;
    }
    if (!load.notice.text.empty()) show_file_message(platform, load.notice);
    return load.count;
}

namespace {

int reference_loaded(FrameStore& store, Platform& platform, int n) {
    if (n <= 0) return 0;
    store.image_loaded = 1;
    store.current_frame = 0;
    store.reference_count = n;
    platform.invalidate(Window::main, true);
    return n;
}

}  // namespace

int open_reference_sequence(FrameStore& store, Platform& platform, Window owner) {
    return reference_loaded(store, platform,
                            open_frame_sequence(store, platform, owner, SequenceTable::reference));
}

int drop_reference_files(FrameStore& store, Platform& platform,
                         const std::vector<std::string>& paths) {
    const int n = reference_loaded(
        store, platform,
        load_sequence_files(store, platform, Window::main, paths, SequenceTable::reference));
    // As the Open command: the left pane's blank filtered frame 0 while scielab_done stays.
    if (n > 0) {
        store.scielab_pixels[0] =
            make_pixel_buffer(store.reference_pixels[0].width, store.reference_pixels[0].height);
        keep_in_store(store.scielab_pixels[0]);
    }
    return n;
}

int drop_degraded_files(FrameStore& store, Platform& platform,
                        const std::vector<std::string>& paths) {
    const int n =
        load_sequence_files(store, platform, Window::main, paths, SequenceTable::degraded);
    if (n <= 0) return 0;
    store.degraded_count = n;
    store.degraded_ready = 1;
    platform.invalidate(Window::main, true);
    return n;
}

int open_degraded_sequence(FrameStore& store, Platform& platform, Window owner) {
    const int n = open_frame_sequence(store, platform, owner, SequenceTable::degraded);
    if (n <= 0) return 0;
    platform.invalidate(Window::main, true);
    return n;
}

void save_degraded_sequence(FrameStore& store, Platform& platform, Window owner) {
    const auto answer =
        platform.save_file(sequence_dialog_request(owner, save_dialog_title, false));
    if (!answer) return;
    file_name_buffer() = *answer;
    const std::string base = save_base(*answer);
    const int existing = existing_save_files(store, base);
    if (existing > 0) {
        MessageRequest request;
        request.owner = owner;
        request.text = std::to_string(existing) + existing_files_text;
        request.caption = save_dialog_title;
        request.buttons = MessageButtons::skip_cancel;
        request.icon = MessageIcon::question;
        if (platform.message_box(request) != MessageAnswer::skip) return;
    }
    save_degraded_frames(
        store, base, [&](const FileMessage& message) { show_file_message(platform, message); },
        existing > 0);
    platform.invalidate(Window::main, true);
}

}  // namespace orv
