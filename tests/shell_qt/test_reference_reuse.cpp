// The desktop program measuring one reference against a second degraded version, on the
// offscreen platform: the reference frames' coordinates of the first run serve the second
// (the store counts the hits), whose results are those of a run with an empty store, bit for
// bit; for 24-bit frames and for frames of 10 bits measured exactly. Another reference,
// profile or viewing distance is never served from the store.

#include <filesystem>
#include <sstream>

#include <QtTest>

#include "measure/inputs.h"
#include "shell/colour_diff_dialog.h"
#include "shell/frame_store.h"
#include "shell/qt/main_window_qt.h"
#include "tests/shell_qt/helper_frame_store.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {

namespace {

constexpr int frames = 3;
constexpr int width = 32;
constexpr int height = 16;

// What a colour-difference run leaves in the slots.
struct Measured {
    std::vector<InterleavedImage> maps;
    std::vector<std::vector<std::uint8_t>> greys;
    std::vector<double> p95;
};

Measured measured(const FrameStore& store) {
    Measured m;
    for (int i = 0; i < frames; ++i) {
        m.maps.push_back(store.diff_results[static_cast<std::size_t>(i)]);
        const PixelBuffer& grey = store.diff_pixels[static_cast<std::size_t>(i)];
        m.greys.emplace_back(grey.bytes.begin(), grey.bytes.end());
        m.p95.push_back(store.diff_p95[static_cast<std::size_t>(i)]);
    }
    return m;
}

}  // namespace

class ReferenceReuseTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void a_second_degraded_version_reuses_the_reference();
    void cleanupTestCase();

private:
    std::vector<std::string> bmp_sequence(const std::string& name, int seed);
    // Measures the current pair; returns the store's hits this run added.
    long long measure();

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
};

std::vector<std::string> ReferenceReuseTest::bmp_sequence(const std::string& name, int seed) {
    std::vector<std::string> paths;
    for (int index = 0; index < frames; ++index) {
        test::BmpSpec spec;
        spec.width = width;
        spec.height = height;
        const std::size_t row = test::source_row_pixels(spec.width, 24);
        spec.pixels.assign(row * static_cast<std::size_t>(spec.height), 0);
        for (std::size_t i = 0; i < spec.pixels.size(); ++i) {
            spec.pixels[i] = static_cast<std::uint8_t>((i * 7 + index * 13 + seed) % 251);
        }
        paths.push_back(folder_.file(name + "_" + std::to_string(index) + ".bmp"));
        test::write_file(paths.back(), test::make_bmp(spec));
    }
    return paths;
}

long long ReferenceReuseTest::measure() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    const long long before = store.reference_store->hits;
    // A refusal is shown, not waited on.
    std::vector<std::string> shown;
    const auto message_box = platform.message_box;
    platform.message_box = [&shown](const MessageRequest& r) {
        shown.push_back(r.text);
        return MessageAnswer::ok;
    };
    const bool made = make_difference_sequence(store, platform);
    platform.message_box = message_box;
    [&] {
        QVERIFY2(shown.empty(), shown.empty() ? "" : shown.front().c_str());
        QVERIFY(made);
    }();
    return store.reference_store->hits - before;
}

void ReferenceReuseTest::initTestCase() {
    FrameStore& store = frame_store();
    test::start_with_default_profile(store);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void ReferenceReuseTest::a_second_degraded_version_reuses_the_reference() {
    FrameStore& store = window_->store();
    // Ten bits a sample: the panes show 8-bit pixels, a run measures the file's values.
    const std::string deep = folder_.file("deep.mkv");
    test::VideoSpec spec;
    spec.container = "matroska";
    spec.codec = "ffv1";
    spec.pixel_format = "yuv444p10le";
    spec.width = width;
    spec.height = height;
    QCOMPARE(test::write_video(deep, spec, frames, test::pattern_frames()), std::string());
    const std::vector<std::string> first = bmp_sequence("first", 5);
    const std::vector<std::string> second = bmp_sequence("second", 9);
    const std::vector<std::string> references[] = {bmp_sequence("reference", 1), {deep}};
    for (const std::vector<std::string>& reference : references) {
        window_->drop(Pane::left, reference);
        QVERIFY(store.reference_store->entries.empty());  // the last reference's are gone
        QCOMPARE(!store.reference_deep[0].path.empty(), reference.size() == 1);
        window_->drop(Pane::right, first);
        QCOMPARE(measure(), 0LL);
        window_->drop(Pane::right, second);
        // Frames whose coordinates are kept are not read from their file again.
        const std::string moved = deep + ".away";
        std::filesystem::rename(deep, moved);
        QCOMPARE(measure(), static_cast<long long>(frames));
        std::filesystem::rename(moved, deep);
        const Measured reused = measured(store);
        clear_reference_store(*store.reference_store);
        QCOMPARE(measure(), 0LL);
        const Measured fresh = measured(store);
        for (int i = 0; i < frames; ++i) {
            const auto k = static_cast<std::size_t>(i);
            QVERIFY(!fresh.maps[k].data.empty());
            QVERIFY(reused.maps[k].data == fresh.maps[k].data);
            QCOMPARE(reused.maps[k].mean, fresh.maps[k].mean);
            QCOMPARE(reused.maps[k].max, fresh.maps[k].max);
            QCOMPARE(reused.maps[k].min, fresh.maps[k].min);
            QVERIFY(reused.greys[k] == fresh.greys[k]);
            QCOMPARE(reused.p95[k], fresh.p95[k]);
        }
        // Another viewing distance: the coordinates are made again, then serve once more.
        store.viewing.ppd = 60.0;
        QCOMPARE(measure(), 0LL);
        QCOMPARE(measure(), static_cast<long long>(frames));
        store.viewing = ViewingOptions{};
    }
}

void ReferenceReuseTest::cleanupTestCase() { window_.reset(); }

}  // namespace orv

QTEST_MAIN(orv::ReferenceReuseTest)
#include "test_reference_reuse.moc"
