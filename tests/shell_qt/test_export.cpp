// ファイル → エクスポート on the offscreen platform: a small sequence measured in the window and
// exported gives the same bytes as `orv-cli diff` on the same files with the same settings;
// and the refusals (nothing measured yet, a file that exists).

#include <nlohmann/json.hpp>
#include <sstream>

#include <QAction>
#include <QProcess>
#include <QtTest>

#include "resources/menu.h"
#include "scielab/filter_kernels.h"
#include "shell/colour_diff_dialog.h"
#include "shell/export.h"
#include "shell/frame_store.h"
#include "shell/qt/main_window_qt.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/media_writer.h"
#include "tests/support/temp_folder.h"

namespace orv {

class ExportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refused_before_any_measurement();
    void export_gives_the_bytes_of_orv_cli();
    void cleanupTestCase();

private:
    std::string write_frame(const std::string& name, int index, int shift);
    // Drops the two sequences on the panes, measures them, exports to NAME_gui and has
    // orv-cli diff write NAME_cli from the same files; compares the two.
    void measure_export_and_compare(const std::vector<std::string>& reference,
                                    const std::vector<std::string>& degraded,
                                    const std::string& name);
    // Exports to `base` as a user would, answering the save dialog; the message boxes shown.
    std::vector<MessageRequest> export_to(const std::string& base);

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::string dialog_title_;  // of the last save dialog asked for
};

std::string ExportTest::write_frame(const std::string& name, int index, int shift) {
    test::BmpSpec spec;
    spec.width = 40;
    spec.height = 24;
    const std::size_t row = test::source_row_pixels(spec.width, 24);
    spec.pixels.resize(row * static_cast<std::size_t>(spec.height));
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width * 3; ++x) {
            const int noise = shift == 0 ? 0 : (x * 5 + y * 3 + index) % (2 * shift + 1) - shift;
            const int value = 40 + (x * 7 + y * 13 + index * 31) % 170 + noise;
            spec.pixels[static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(value);
        }
    }
    const std::string path = folder_.file(name + "_" + std::to_string(index) + ".bmp");
    test::write_file(path, test::make_bmp(spec));
    return path;
}

std::vector<MessageRequest> ExportTest::export_to(const std::string& base) {
    std::vector<MessageRequest> shown;
    Platform& platform = window_->platform();
    const auto message_box = platform.message_box;
    const auto save_file = platform.save_file;
    platform.message_box = [&shown](const MessageRequest& request) {
        shown.push_back(request);
        return MessageAnswer::ok;
    };
    dialog_title_.clear();
    platform.save_file = [this, &base](const FileDialogRequest& request) {
        dialog_title_ = request.title;
        return std::optional<std::string>(base + ".csv");
    };
    window_->action(command::export_results)->trigger();
    platform.message_box = message_box;
    platform.save_file = save_file;
    return shown;
}

void ExportTest::initTestCase() {
    FrameStore& store = frame_store();
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void ExportTest::refused_before_any_measurement() {
    const std::vector<MessageRequest> shown = export_to(folder_.file("early"));
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string(export_needs_results_text));
    QVERIFY(dialog_title_.empty());  // no dialog asked for
    QVERIFY(!std::filesystem::exists(folder_.file("early.csv")));
}

void ExportTest::measure_export_and_compare(const std::vector<std::string>& reference,
                                            const std::vector<std::string>& degraded,
                                            const std::string& name) {
    FrameStore& store = window_->store();
    window_->drop(Pane::left, reference);
    window_->drop(Pane::right, degraded);
    QVERIFY(make_difference_sequence(store, window_->platform()));

    const std::string gui = folder_.file(name + "_gui");
    std::vector<MessageRequest> shown = export_to(gui);
    QCOMPARE(shown.size(), std::size_t{1});
    QVERIFY(shown[0].text.rfind(export_done_text, 0) == 0);
    QCOMPARE(dialog_title_, std::string("エクスポート"));

    const std::string cli = folder_.file(name + "_cli");
    QStringList arguments = {"diff",
                             "--profile",
                             ORV_DEFAULT_PROFILE,
                             "--quiet",
                             "--csv",
                             QString::fromStdString(cli + ".csv"),
                             "--summary",
                             QString::fromStdString(cli + "_summary.csv"),
                             "--json",
                             QString::fromStdString(cli + ".json"),
                             "--heatmaps",
                             QString::fromStdString(cli),
                             "--report",
                             QString::fromStdString(cli + ".html"),
                             "--reference"};
    for (const std::string& p : reference) arguments << QString::fromStdString(p);
    arguments << "--degraded";
    for (const std::string& p : degraded) arguments << QString::fromStdString(p);
    QProcess run;
    run.start(QStringLiteral(ORV_CLI), arguments);
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 0);

    auto bytes = [](const std::string& path) {
        const test::Bytes b = test::read_file(path);
        return std::string(b.begin(), b.end());
    };
    // The table, the pooled figures and the heatmaps are equal byte for byte.
    for (const std::string end : {".csv", "_summary.csv", "_0000.png", "_0001.png", "_0002.png"}) {
        QVERIFY2(!bytes(gui + end).empty(), end.c_str());
        QVERIFY2(bytes(gui + end) == bytes(cli + end), end.c_str());
    }
    // The JSON record and the HTML report name the command that made them: the program here,
    // orv-cli's arguments there. Everything else is equal.
    nlohmann::json gui_json = nlohmann::json::parse(bytes(gui + ".json"));
    nlohmann::json cli_json = nlohmann::json::parse(bytes(cli + ".json"));
    QCOMPARE(gui_json["command_line"], nlohmann::json::array({"orv"}));
    gui_json["command_line"] = cli_json["command_line"];
    QVERIFY(gui_json == cli_json);
    auto without_command = [](std::string page) {
        const std::size_t at = page.find("<tr><th>Command</th>");
        if (at != std::string::npos) page.erase(at, page.find("</tr>", at) - at);
        return page;
    };
    const std::string gui_page = bytes(gui + ".html");
    QVERIFY(gui_page.find("<tr><th>Command</th><td><code>orv</code>") != std::string::npos);
    QVERIFY(without_command(gui_page) == without_command(bytes(cli + ".html")));
}

void ExportTest::export_gives_the_bytes_of_orv_cli() {
    FrameStore& store = window_->store();
    std::ostringstream trace;
    const std::string profile = ORV_DEFAULT_PROFILE;
    store.atd_filters.a =
        load_channel_filter(profile + "/kernel_L.txt", kernel_sample_angle, trace);
    store.atd_filters.t =
        load_channel_filter(profile + "/kernel_RG.txt", kernel_sample_angle, trace);
    store.atd_filters.d =
        load_channel_filter(profile + "/kernel_BY.txt", kernel_sample_angle, trace);
    finish_filter_set(store.atd_filters);
    store.atd_filter_set = 1;

    std::vector<std::string> reference;
    std::vector<std::string> degraded;
    for (int i = 0; i < 3; ++i) reference.push_back(write_frame("ref", i, 0));
    // Two degraded frames: the last one stands for the third pair, in both faces.
    for (int i = 0; i < 2; ++i) degraded.push_back(write_frame("deg", i, 6));
    measure_export_and_compare(reference, degraded, "bmp");
    QVERIFY(!QTest::currentTestFailed());
    // A video as the degraded sequence: its frames named "PATH#N", its colour handling.
    const std::string video = folder_.file("clip.mkv");
    const test::VideoSpec spec{"matroska", "ffv1", "yuv420p", 40, 24, {}, 2, 0};
    QCOMPARE(test::write_video(video, spec, 2, test::pattern_frames()), std::string());
    measure_export_and_compare(reference, {video}, "video");
    QVERIFY(!QTest::currentTestFailed());
    const test::Bytes table = test::read_file(folder_.file("video_gui.csv"));
    QVERIFY(std::string(table.begin(), table.end()).find(video + "#1") != std::string::npos);

    // Again to an earlier name: refused with the existing file named, nothing rewritten.
    const std::string gui = folder_.file("bmp_gui");
    std::filesystem::remove(gui + "_0002.png");
    std::vector<MessageRequest> shown = export_to(gui);
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string("同名のファイルが既に存在しています"));
    QCOMPARE(shown[0].caption, gui + ".csv");
    QVERIFY(!std::filesystem::exists(gui + "_0002.png"));

    // Another degraded sequence after the measurement: nothing to export until it is measured.
    window_->drop(Pane::right, degraded);
    shown = export_to(folder_.file("later"));
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string(export_needs_results_text));
}

void ExportTest::cleanupTestCase() {
    window_.reset();
    reset_frame_store(frame_store());
}

}  // namespace orv

QTEST_MAIN(orv::ExportTest)
#include "test_export.moc"
