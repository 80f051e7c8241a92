// Opening and saving sequences through the scripted file dialogs.

#include <filesystem>
#include <gtest/gtest.h>

#include "resources/menu.h"
#include "shell/main_window.h"
#include "shell/sequence_dialogs.h"
#include "tests/shell/main_window_platform.h"
#include "tests/shell/main_window_test_frames.h"
#include "tests/support/temp_folder.h"

namespace orv {
namespace {

using test::ScriptedMainPlatform;

class SequenceDialogTest : public testing::Test {
protected:
    void SetUp() override { file_name_buffer().clear(); }

    // A w x h BMP file whose bytes are all `fill`.
    std::string bmp(const std::string& name, int w, int h, std::uint8_t fill) {
        test::BmpSpec spec;
        spec.width = w;
        spec.height = h;
        spec.pixels.assign(test::source_row_pixels(w, 24) * static_cast<std::size_t>(h), fill);
        const std::string path = folder.file(name);
        test::write_file(path, test::make_bmp(spec));
        return path;
    }

    test::TempFolder folder;
    std::unique_ptr<FrameStore> store = test::fresh_store();
    ScriptedMainPlatform p;
};

TEST_F(SequenceDialogTest, CancelLoadsNothingAndDialogIsAsSpecified) {
    EXPECT_EQ(open_reference_sequence(*store, p.platform, Window::main), 0);
    ASSERT_EQ(p.open_requests.size(), 1u);
    const FileDialogRequest& r = p.open_requests[0];
    EXPECT_EQ(r.title, "ファイルを開く！");
    // The three BMP-era types first and in order; video and image files after them.
    ASSERT_EQ(r.filters.size(), 5u);
    EXPECT_EQ(r.filters[3].description.substr(0, 18), "動画ファイル");
    EXPECT_EQ(r.filters[4].description.substr(0, 18), "画像ファイル");
    EXPECT_EQ(r.filters[0].description, "BMP files(*.bmp)");
    EXPECT_EQ(r.filters[0].pattern, "*.bmp");
    EXPECT_EQ(r.filters[1].description, "MSI Files(*.001)");
    EXPECT_EQ(r.filters[1].pattern, "*.001");
    EXPECT_EQ(r.filters[2].description, "All Files(*.*)");
    EXPECT_EQ(r.filters[2].pattern, "*.*");
    EXPECT_EQ(r.default_extension, "bmp");
    EXPECT_TRUE(r.multiple);
    EXPECT_EQ(store->image_loaded, 0);
    EXPECT_TRUE(p.invalidations.empty());
}

TEST_F(SequenceDialogTest, FilesLoadInDialogOrder) {
    const std::string b = bmp("b.bmp", 2, 2, 0xB0);
    const std::string a = bmp("a.bmp", 3, 2, 0xA0);
    const std::string c = bmp("c.bmp", 4, 2, 0xC0);
    p.open_answers.push_back(std::vector<std::string>{b, a, c});
    EXPECT_EQ(open_reference_sequence(*store, p.platform, Window::main), 3);
    EXPECT_EQ(store->reference_count, 3);
    EXPECT_EQ(store->image_loaded, 1);
    EXPECT_EQ(store->frame_width[0], 2);
    EXPECT_EQ(store->frame_width[1], 3);
    EXPECT_EQ(store->frame_width[2], 4);
    EXPECT_EQ(store->reference_names[1], a);
    EXPECT_EQ(store->reference_pixels[0].bytes[0], 0xB0);
    EXPECT_TRUE(p.invalidated(Window::main, true));
}

TEST_F(SequenceDialogTest, FailureAtThirdOfFiveKeepsCountsAndFirstTwoNewFrames) {
    // An older, longer sequence is open at frame 2.
    test::open_reference(*store, 6, 4, 3);
    store->current_frame = 2;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(bmp("f" + std::to_string(i) + ".bmp", 5, 5, static_cast<std::uint8_t>(i)));
    }
    test::write_file(paths[2], test::Bytes{'n', 'o', 't', ' ', 'B', 'M', 'P'});
    p.open_answers.push_back(paths);

    EXPECT_EQ(open_reference_sequence(*store, p.platform, Window::main), 0);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].caption, paths[2]);
    EXPECT_FALSE(p.messages[0].text.empty());
    EXPECT_EQ(p.messages[0].buttons, MessageButtons::ok);
    EXPECT_EQ(p.messages[0].owner, Window::none);
    EXPECT_EQ(store->reference_count, 6);
    EXPECT_EQ(store->current_frame, 2);
    // Slots 0 and 1 hold the new frames; slot 2 on keeps valid older frames.
    EXPECT_EQ(store->frame_width[0], 5);
    EXPECT_EQ(store->frame_width[1], 5);
    EXPECT_EQ(store->reference_pixels[1].bytes[0], 1);
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(store->frame_width[i], 4);
        EXPECT_GT(store->frame_stride[i], 0);
        EXPECT_TRUE(is_present(store->reference_pixels[i]));
    }
    EXPECT_FALSE(p.invalidated(Window::main, true));
}

TEST_F(SequenceDialogTest, EachDialogStartsWhereThePreviousAnswerLeftOff) {
    const std::string a = bmp("a.bmp", 2, 2, 1);
    const std::string b = bmp("b.bmp", 2, 2, 2);
    p.open_answers.push_back(std::vector<std::string>{a, b});
    p.open_answers.push_back(std::vector<std::string>{b});
    p.save_answers.push_back(folder.file("out.bmp"));
    open_reference_sequence(*store, p.platform, Window::main);
    open_degraded_sequence(*store, p.platform, Window::dialog);
    save_degraded_sequence(*store, p.platform, Window::main);
    open_reference_sequence(*store, p.platform, Window::main);  // cancelled

    ASSERT_EQ(p.open_requests.size(), 3u);
    EXPECT_EQ(p.open_requests[0].start_text, "");
    EXPECT_EQ(p.open_requests[1].start_text, folder.path.string());  // folder of a selection
    EXPECT_EQ(p.open_requests[1].owner, Window::dialog);
    ASSERT_EQ(p.save_requests.size(), 1u);
    EXPECT_EQ(p.save_requests[0].start_text, b);  // a single path
    EXPECT_EQ(p.save_requests[0].title, "保存ファイル");
    EXPECT_EQ(p.save_requests[0].filters.size(), 3u);
    EXPECT_EQ(p.save_requests[0].default_extension, "bmp");
    EXPECT_FALSE(p.save_requests[0].multiple);
    EXPECT_EQ(p.open_requests[2].start_text, folder.file("out.bmp"));
}

TEST_F(SequenceDialogTest, DegradedLoadKeepsLastNameAndChangesNoCount) {
    const std::string a = bmp("a.bmp", 2, 2, 1);
    const std::string b = bmp("b.bmp", 2, 2, 2);
    p.open_answers.push_back(std::vector<std::string>{a, b});
    EXPECT_EQ(open_degraded_sequence(*store, p.platform, Window::dialog), 2);
    EXPECT_EQ(store->degraded_name, b);
    EXPECT_EQ(store->degraded_count, 0);  // the caller stores the count
    EXPECT_EQ(store->image_loaded, 0);
}

TEST_F(SequenceDialogTest, SaveWritesNumberedFramesAndGoesOnPastRefusals) {
    for (int i = 0; i < 12; ++i) test::put_degraded_frame(*store, i, 3, 2);
    store->degraded_count = 12;
    const std::string chosen = folder.file("out.bmp");
    test::write_file(folder.file("out_0003.bmp"), test::Bytes{'x'});  // already there
    p.save_answers.push_back(chosen);
    p.answers.push_back(MessageAnswer::skip);
    save_degraded_sequence(*store, p.platform, Window::main);

    // One question for the existing file; skipping it writes the others.
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].text, "1" + std::string(existing_files_text));
    EXPECT_EQ(p.messages[0].buttons, MessageButtons::skip_cancel);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(std::filesystem::exists(numbered_name(folder.file("out"), i))) << i;
    }
    EXPECT_EQ(test::read_file(folder.file("out_0003.bmp")), test::Bytes{'x'});
    EXPECT_TRUE(std::filesystem::exists(folder.file("out_0011.bmp")));
    EXPECT_TRUE(p.invalidated(Window::main, true));

    // Saving again to the same base asks once (not once per frame) and changes no file,
    // whether the answer is to skip them all or to cancel.
    for (MessageAnswer answer : {MessageAnswer::skip, MessageAnswer::cancel}) {
        p.messages.clear();
        p.save_answers.push_back(chosen);
        p.answers.push_back(answer);
        save_degraded_sequence(*store, p.platform, Window::main);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, "12" + std::string(existing_files_text));
        EXPECT_EQ(test::read_file(folder.file("out_0003.bmp")), test::Bytes{'x'});
    }
}

TEST_F(SequenceDialogTest, SaveCancelledOrEmptyWritesNothing) {
    save_degraded_sequence(*store, p.platform, Window::main);
    EXPECT_TRUE(p.invalidations.empty());  // cancel repaints nothing
    p.save_answers.push_back(folder.file("none.bmp"));
    save_degraded_sequence(*store, p.platform, Window::main);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
    // A chosen name shorter than four characters never underflows.
    test::put_degraded_frame(*store, 0, 2, 2);
    store->degraded_count = 1;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    p.save_answers.push_back("ab");
    save_degraded_sequence(*store, p.platform, Window::main);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::exists(folder.file("_0000.bmp")));
}

TEST_F(SequenceDialogTest, OpenCommandMakesBlankFilteredFrameAndKeepsScielabDone) {
    const std::string a = bmp("a.bmp", 6, 5, 9);
    store->scielab_done = 1;
    store->scielab_pixels[1] = make_pixel_buffer(2, 2);  // an older result
    p.open_answers.push_back(std::vector<std::string>{a});
    run_main_command(*store, p.platform, command::open);
    EXPECT_EQ(store->scielab_done, 1);
    EXPECT_EQ(store->scielab_pixels[0].width, 6);
    EXPECT_EQ(store->scielab_pixels[0].height, 5);
    EXPECT_EQ(store->scielab_pixels[0].bytes,
              std::vector<std::uint8_t>(store->scielab_pixels[0].bytes.size(), 0));
    EXPECT_TRUE(is_present(store->scielab_pixels[1]));
}

TEST_F(SequenceDialogTest, AtMostAThousandFilesAreTaken) {
    const std::string a = bmp("a.bmp", 1, 1, 7);
    p.open_answers.push_back(std::vector<std::string>(1500, a));
    EXPECT_EQ(open_reference_sequence(*store, p.platform, Window::main), 1000);
    EXPECT_EQ(store->reference_count, 1000);
}

}  // namespace
}  // namespace orv
