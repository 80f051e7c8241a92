// The main window's additions on the offscreen platform: sequences dropped on the upper panes,
// stepping by keys and by the wheel over the white quarter with its frame number, the fit
// view and its readouts, all with the frame store's buffers in temporary files as in the
// program.

#include <map>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QUrl>
#include <QtTest>

#include "image/spill_memory.h"
#include "report/heatmap.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "scielab/filter_kernels.h"
#include "shell/colour_diff_dialog.h"
#include "shell/frame_store.h"
#include "shell/navigation.h"
#include "shell/noise_dialog.h"
#include "shell/qt/main_window_qt.h"
#include "shell/results.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace orv {

class ViewsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void drops_open_the_two_sequences();
    void keys_and_wheel_step_and_the_quarter_follows();
    void fit_view_shows_the_whole_frame_and_maps_readouts();
    void results_window_follows_the_run_and_a_click_shows_a_frame();
    void screenshots_of_a_measured_sequence();
    void cleanupTestCase();

private:
    // A frame 100 pixels narrower and lower than the left pane's picture area (so the scale
    // rule draws it wider than the pane) whose top-left pixel holds the frame number in red
    // (plus `offset`); large enough to be kept in a temporary file.
    std::string write_frame(int index, int offset);
    void drop_on(Pane pane, const std::vector<std::string>& paths);
    QString quarter_text() const;

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::vector<std::string> reference_;
    std::vector<std::string> degraded_;
    int width_ = 0;
    int height_ = 0;
};

std::string ViewsTest::write_frame(int index, int offset) {
    test::BmpSpec spec;
    spec.width = width_;
    spec.height = height_;
    const std::size_t row = test::source_row_pixels(spec.width, 24);
    spec.pixels.assign(row * static_cast<std::size_t>(spec.height), 90);
    // File rows are bottom-up: the last one is the picture's top row.
    spec.pixels[static_cast<std::size_t>(spec.height - 1) * row + 2] =
        static_cast<std::uint8_t>(index + offset);
    const std::string path =
        folder_.file("f" + std::to_string(offset) + "_" + std::to_string(index) + ".bmp");
    test::write_file(path, test::make_bmp(spec));
    return path;
}

void ViewsTest::drop_on(Pane pane, const std::vector<std::string>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    data->setUrls(urls);
    ImagePane* target = window_->pane(pane);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), pane != Pane::lower);
    if (enter.isAccepted()) {
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
    }
    delete data;
}

QString ViewsTest::quarter_text() const {
    QStringList lines;
    for (const std::string& l : quarter_lines(window_->store())) {
        lines << QString::fromStdString(l);
    }
    return lines.join('\n');
}

void ViewsTest::initTestCase() {
    set_spill_folder(folder_.path.string());
    FrameStore& store = frame_store();
    reset_frame_store(store);
    start_frame_store(store, ORV_DEFAULT_PROFILE);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->resize(1800, 1400);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    ImagePane* left = window_->pane(Pane::left);
    width_ = left->contentsRect().width() - 100;
    height_ = left->contentsRect().height() - left->status()->sizeHint().height() - 100;
    QVERIFY(static_cast<std::size_t>(stride_for_width(width_)) * height_ >= spill_threshold);
    for (int i = 0; i < 3; ++i) reference_.push_back(write_frame(i, 0));
    for (int i = 0; i < 5; ++i) degraded_.push_back(write_frame(i, 100));
}

void ViewsTest::drops_open_the_two_sequences() {
    FrameStore& store = window_->store();
    drop_on(Pane::lower, reference_);  // refused: nothing changes
    QCOMPARE(store.image_loaded, 0);

    drop_on(Pane::left, reference_);
    QCOMPARE(store.reference_count, 3);
    QCOMPARE(store.image_loaded, 1);
    QCOMPARE(store.reference_names[2], reference_[2]);
    QCOMPARE(store.degraded_count, 0);
    // The frames live in the temporary files, not on the heap.
    QVERIFY(is_spilled(store.reference_pixels[0].bytes.data()));

    drop_on(Pane::right, degraded_);
    QCOMPARE(store.degraded_count, 5);
    QCOMPARE(store.degraded_name, degraded_[4]);
    const PixelBuffer& last = store.degraded_pixels[4];
    QCOMPARE(last.bytes[static_cast<std::size_t>(last.height - 1) * last.stride + 2], 104);
    QCOMPARE(store.reference_count, 3);
    QTRY_VERIFY(window_->pane(Pane::right)->last_drawing().drawn);
    // The pane's picture holds the frame top row first, in its own colours.
    const QImage& shown = window_->pane(Pane::right)->shown_image();
    QCOMPARE(shown.size(), QSize(width_, height_));
    QCOMPARE(shown.pixel(0, 0), qRgb(100, 90, 90));
    QCOMPARE(shown.pixel(0, height_ - 1), qRgb(90, 90, 90));
}

void ViewsTest::keys_and_wheel_step_and_the_quarter_follows() {
    FrameStore& store = window_->store();
    ClientArea* client = window_->client();
    client->setFocus();
    struct Step {
        Qt::Key key;
        int frame;  // current_frame after the key
    };
    // The right pane's picture before the steps, held as a copy.
    ImagePane* right = window_->pane(Pane::right);
    QTRY_VERIFY(!right->shown_image().isNull());
    const QImage earlier = right->shown_image();
    const QRgb earlier_pixel = earlier.pixel(0, 0);
    // 3 reference and 5 degraded frames: stepping wraps at 5, as a click does.
    const Step steps[] = {{Qt::Key_Right, 1}, {Qt::Key_Space, 2}, {Qt::Key_End, 4},
                          {Qt::Key_Right, 0}, {Qt::Key_Left, 4},  {Qt::Key_Left, 3},
                          {Qt::Key_Home, 0},  {Qt::Key_Left, 4}};
    for (const Step& s : steps) {
        QTest::keyClick(client, s.key);
        QCOMPARE(store.current_frame, s.frame);
    }
    QVERIFY(quarter_text().startsWith(
        QStringLiteral("フレーム 5 / 5\n原画像: f0_2.bmp\n劣化画像: f100_4.bmp")));
    QVERIFY(quarter_text().contains(QStringLiteral("クリック")));
    // The panes show the slots of the new frame: the left one the last reference frame.
    QTRY_COMPARE(window_->pane(Pane::left)->last_drawing().slot, 2);
    QTRY_COMPARE(window_->pane(Pane::right)->last_drawing().slot, 4);
    // The pane writes each frame over its picture of the same size; the copy keeps its pixels.
    QTRY_COMPARE(right->shown_image().pixel(0, 0), qRgb(104, 90, 90));
    QCOMPARE(earlier.pixel(0, 0), earlier_pixel);

    // The wheel over the quarter: one step a notch, toward the user next; elsewhere nothing.
    const QPoint quarter = window_->quarter_rect().center();
    auto turn = [&](QPoint at, int delta) {
        QWheelEvent wheel(QPointF(at), QPointF(client->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(client, &wheel);
    };
    turn(quarter, -120);
    QCOMPARE(store.current_frame, 0);
    turn(quarter, 60);
    QCOMPARE(store.current_frame, 0);  // half a notch
    turn(quarter, 60);
    QCOMPARE(store.current_frame, 4);
    turn(window_->pane(Pane::left)->geometry().center(), -120);
    QCOMPARE(store.current_frame, 4);
    QTest::keyClick(client, Qt::Key_Home);
}

void ViewsTest::fit_view_shows_the_whole_frame_and_maps_readouts() {
    FrameStore& store = window_->store();
    ImagePane* left = window_->pane(Pane::left);
    // The scale rule fills the height: the frame is drawn wider than the pane.
    window_->platform().invalidate(Window::main, true);
    QTRY_VERIFY(left->last_drawing().drawn);
    QVERIFY(left->last_drawing().dest_width > left->contentsRect().width());
    QVERIFY(!window_->action(command::fit_view)->isChecked());

    window_->action(command::fit_view)->trigger();
    QVERIFY(store.fit_to_pane);
    QVERIFY(window_->action(command::fit_view)->isChecked());
    QTRY_VERIFY(left->last_drawing().dest_width <= left->contentsRect().width());
    const double scale = left->last_drawing().scale;
    QCOMPARE(left->last_drawing().dest_width, static_cast<int>(width_ * scale));
    QCOMPARE(store.display_scale, scale);

    // The mouse over image pixel (300, 50) reads that pixel through the fit scale.
    const QPoint at =
        left->contentsRect().topLeft() + QPoint(qRound(300.5 * scale), qRound(50.5 * scale));
    QTest::mouseMove(left, at);
    QTRY_COMPARE(left->status()->part_text(0), QStringLiteral(" X:300 Y:50"));
    QCOMPARE(left->status()->part_text(1), QStringLiteral(" R:90 G:90 B:90"));

    window_->action(command::fit_view)->trigger();
    QVERIFY(!store.fit_to_pane);
}

void ViewsTest::results_window_follows_the_run_and_a_click_shows_a_frame() {
    FrameStore& store = window_->store();
    window_->action(command::results_window)->trigger();
    ResultsWindow* results = window_->results_window();
    QVERIFY(results != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(results));
    QVERIFY(results_view(store).points.empty());  // no difference images yet

    // Difference results of the five slots as a run leaves them (frame i: mean i, max 2i + 1).
    for (int i = 0; i < 5; ++i) {
        InterleavedImage& r = store.diff_results[static_cast<std::size_t>(i)];
        r.width = width_;
        r.height = height_;
        r.channels = 1;
        r.data.assign(static_cast<std::size_t>(width_) * height_, static_cast<double>(i));
        r.mean = i;
        r.max = 2.0 * i + 1.0;
        r.min = 0.0;
        store.diff_pixels[static_cast<std::size_t>(i)] = make_pixel_buffer(width_, height_);
    }
    store.diff_ready = 1;
    window_->platform().invalidate(Window::main, true);
    QTRY_COMPARE(results->area().last_frame, 4);
    const ResultsView view = results_view(store);
    QCOMPARE(view.points.size(), std::size_t{5});
    QCOMPARE(view.max_frame, 4);
    QCOMPARE(view.largest_mean_frame, 4);
    QCOMPARE(view.mean_of_means, 2.0);

    // A click on frame 3's column shows frame 3 in the panes and its figures in the quarter.
    const PlotArea area = results->area();
    QTest::mouseClick(results, Qt::LeftButton, Qt::NoModifier,
                      QPoint(qRound(plot_x(area, 3)), qRound(plot_y(area, 3.0))));
    QCOMPARE(store.current_frame, 3);
    QVERIFY(quarter_text().contains(QStringLiteral("色差 平均 3.000000  最大 7.000000")));
    QTRY_COMPARE(window_->pane(Pane::lower)->last_drawing().slot, 3);
    // Outside the plot nothing happens.
    QTest::mouseClick(results, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(store.current_frame, 3);
}

// The bundled samples measured against a noisy copy, the last frame shown with its figures in
// the quarter, the fit view on, and the results window: screenshots for the documentation.
void ViewsTest::screenshots_of_a_measured_sequence() {
    FrameStore& store = window_->store();
    window_->resize(1000, 720);
    std::vector<std::string> samples;
    for (int i = 0; i < 4; ++i) {
        samples.push_back(std::string(ORV_SAMPLES_DIR "/reference_000") + std::to_string(i) +
                          ".bmp");
    }
    drop_on(Pane::left, samples);
    QCOMPARE(store.reference_count, 4);
    std::ostringstream trace;
    const std::string folder = ORV_DEFAULT_PROFILE;
    store.atd_filters.a = load_channel_filter(folder + "/kernel_L.txt", kernel_sample_angle, trace);
    store.atd_filters.t =
        load_channel_filter(folder + "/kernel_RG.txt", kernel_sample_angle, trace);
    store.atd_filters.d =
        load_channel_filter(folder + "/kernel_BY.txt", kernel_sample_angle, trace);
    finish_filter_set(store.atd_filters);
    store.atd_filter_set = 1;
    std::map<int, std::string> texts;
    DialogItems items;
    items.set_text = [&texts](int id, const std::string& text) { texts[id] = text; };
    items.get_text = [&texts](int id) { return texts[id]; };
    items.end_dialog = [](int) {};
    for (int id : {noise_item::sigma_red, noise_item::sigma_green, noise_item::sigma_blue}) {
        texts[id] = "6";
    }
    QVERIFY(make_noisy_sequence(store, window_->platform(), items));
    QCOMPARE(store.degraded_origin, std::string("ランダムノイズ"));
    QVERIFY(make_difference_sequence(store, window_->platform()));
    if (!store.fit_to_pane) window_->action(command::fit_view)->trigger();
    window_->client()->setFocus();
    QTest::keyClick(window_->client(), Qt::Key_End);
    QCOMPARE(store.current_frame, 3);
    QVERIFY(quarter_text().startsWith(QStringLiteral("フレーム 4 / 4")));
    QVERIFY(quarter_text().contains(QStringLiteral("95%点 ")));
    QVERIFY(store.diff_p95_known[3]);
    QVERIFY(store.diff_p95[3] > store.diff_results[3].mean);
    QVERIFY(store.diff_p95[3] <= store.diff_results[3].max);

    // The heatmap view: the report's picture with its colour bar to the right, readouts as
    // for the grey picture; switched back, the grey picture again.
    ImagePane* lower = window_->pane(Pane::lower);
    window_->action(command::heatmap_view)->trigger();
    QVERIFY(store.heatmap_view);
    QTRY_COMPARE(lower->last_drawing().image, &store.heatmap_pixels);
    QVERIFY(store.heatmap_pixels.width > store.frame_width[3]);
    QCOMPARE(store.heatmap_slot, 3);
    const InterleavedImage& map3 = store.diff_results[3];
    const PixelBuffer& heat = store.heatmap_pixels;
    const RgbImage expected = heatmap_with_colour_bar(map3, HeatmapStyle{});
    const std::size_t top_left = static_cast<std::size_t>(heat.height - 1) * heat.stride;
    QCOMPARE(heat.bytes[top_left + 2], expected.rgb[0]);  // red of the top-left pixel
    QCOMPARE(heat.bytes[top_left], expected.rgb[2]);
    // Sent straight to the pane: on a real display QTest moves the pointer asynchronously.
    const QPointF to = lower->contentsRect().topLeft() + QPoint(qRound(10.5 * store.display_scale),
                                                                qRound(5.5 * store.display_scale));
    QMouseEvent move(QEvent::MouseMove, to, lower->mapToGlobal(to), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(lower, &move);
    QTRY_COMPARE(lower->status()->part_text(0), QStringLiteral(" X:10 Y:5"));
    QCOMPARE(lower->status()->part_text(1),
             QString::fromStdString(difference_readout(
                 map3.data[static_cast<std::size_t>(map3.height - 1 - 5) * map3.width + 10])));
    window_->platform().invalidate(Window::main, true);
    QTRY_VERIFY(window_->pane(Pane::lower)->last_drawing().drawn);
    QTest::qWait(200);
    QDir().mkpath(QStringLiteral(ORV_SCREENSHOT_DIR));
    QVERIFY(window_->grab().save(QStringLiteral(ORV_SCREENSHOT_DIR "/main-window-heatmap.png")));
    // A step makes the next frame's heatmap in the same buffer; the pane shows that one.
    QTest::keyClick(window_->client(), Qt::Key_Left);
    QTRY_COMPARE(store.heatmap_slot, 2);
    const RgbImage expected2 = heatmap_with_colour_bar(store.diff_results[2], HeatmapStyle{});
    const std::size_t top_left2 = static_cast<std::size_t>(heat.height - 1) * heat.stride;
    QCOMPARE(heat.bytes[top_left2 + 2], expected2.rgb[0]);
    QCOMPARE(heat.bytes[top_left2], expected2.rgb[2]);
    QTRY_COMPARE(lower->shown_image().pixel(0, 0),
                 qRgb(expected2.rgb[0], expected2.rgb[1], expected2.rgb[2]));
    QTest::keyClick(window_->client(), Qt::Key_End);
    window_->action(command::heatmap_view)->trigger();
    QTRY_COMPARE(lower->last_drawing().image, &store.diff_pixels[3]);
    window_->action(command::results_window)->trigger();
    QTest::qWait(200);
    QVERIFY(window_->results_window()->grab().save(
        QStringLiteral(ORV_SCREENSHOT_DIR "/results-window.png")));
}

void ViewsTest::cleanupTestCase() {
    window_.reset();
    reset_frame_store(frame_store());
    set_spill_folder({});
}

}  // namespace orv

QTEST_MAIN(orv::ViewsTest)
#include "test_views.moc"
