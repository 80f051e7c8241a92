// The main window's figures and texts as a user reads them, on the offscreen platform: results
// that no longer belong to the sequences shown, numbers typed with a decimal comma, figures
// written under a comma locale, status-bar parts and dialog labels that must show whole, the
// heatmap's colour bar, the degraded frame's own name, one question for a save onto existing
// files, and the smaller mends (results window on the screen, profile checked on OK, no
// readout outside the picture, the noise recorded in an export).

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "image/file_names.h"
#include "measure/inputs.h"
#include "resources/dialog_templates.h"
#include "resources/menu.h"
#include "shell/colour_diff_dialog.h"
#include "shell/dialog_logic.h"
#include "shell/export.h"
#include "shell/failure_texts.h"
#include "shell/field_numbers.h"
#include "shell/frame_store.h"
#include "shell/navigation.h"
#include "shell/noise_dialog.h"
#include "shell/qt/dialog_builder.h"
#include "shell/qt/main_window_qt.h"
#include "shell/results.h"
#include "shell/sequence_dialogs.h"
#include "tests/shell_qt/helper_frame_store.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace orv {

namespace {

// Dialog items held in a map, as a dialog would hold its edits.
struct FakeItems {
    std::map<int, std::string> texts;
    int ended = 0;
    DialogItems items() {
        DialogItems d;
        d.set_text = [this](int id, const std::string& t) { texts[id] = t; };
        d.get_text = [this](int id) { return texts[id]; };
        d.end_dialog = [this](int result) { ended = result; };
        return d;
    }
};

}  // namespace

class GuiFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void field_numbers_take_a_decimal_comma_and_refuse_words();
    void replacing_a_sequence_clears_the_results_everywhere();
    void typed_numbers_with_a_comma_and_refusals_name_the_field();
    void figures_keep_a_decimal_point_under_a_comma_locale();
    void status_parts_show_the_widest_readouts_whole();
    void colour_bar_comes_and_goes_at_once_in_the_window_font();
    void each_degraded_frame_names_its_own_file();
    void dialog_labels_show_whole();
    void saving_onto_existing_files_asks_once();
    void results_window_opens_on_the_screen();
    void environment_ok_checks_the_profile();
    void no_readout_outside_the_picture();
    void export_records_the_noise();

private:
    std::string write_frame(const std::string& name, int index, int width, int height);
    void measure();
    void settle();
    QString quarter_text() const;
    std::vector<MessageRequest> capture_messages(const std::function<void()>& work,
                                                 MessageAnswer answer = MessageAnswer::ok);

    test::TempFolder folder_;
    std::unique_ptr<MainWindowQt> window_;
    std::vector<std::string> reference_;
    std::vector<std::string> degraded_;
    std::vector<std::string> other_size_;
};

std::string GuiFaultsTest::write_frame(const std::string& name, int index, int width, int height) {
    test::BmpSpec spec;
    spec.width = width;
    spec.height = height;
    const std::size_t row = test::source_row_pixels(width, 24);
    spec.pixels.assign(row * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &spec.pixels[static_cast<std::size_t>(y) * row + 3 * x];
            p[0] = static_cast<std::uint8_t>(40 + 3 * x + index);
            p[1] = static_cast<std::uint8_t>(200 - 2 * y);
            p[2] = static_cast<std::uint8_t>(name == "deg" ? 250 - index : 240);
        }
    }
    const std::string path = folder_.file(name + "_" + std::to_string(index) + ".bmp");
    test::write_file(path, test::make_bmp(spec));
    return path;
}

void GuiFaultsTest::settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QString GuiFaultsTest::quarter_text() const {
    QStringList lines;
    for (const std::string& l : quarter_lines(window_->store())) {
        lines << QString::fromStdString(l);
    }
    return lines.join('\n');
}

std::vector<MessageRequest> GuiFaultsTest::capture_messages(const std::function<void()>& work,
                                                            MessageAnswer answer) {
    std::vector<MessageRequest> shown;
    Platform& platform = window_->platform();
    const auto saved = platform.message_box;
    platform.message_box = [&shown, answer](const MessageRequest& request) {
        shown.push_back(request);
        return answer;
    };
    work();
    platform.message_box = saved;
    return shown;
}

void GuiFaultsTest::measure() {
    FrameStore& store = window_->store();
    window_->drop(Pane::left, reference_);
    window_->drop(Pane::right, degraded_);
    QVERIFY(make_difference_sequence(store, window_->platform()));
    window_->platform().invalidate(Window::main, true);
    settle();
}

void GuiFaultsTest::initTestCase() {
    FrameStore& store = frame_store();
    test::start_with_default_profile(store);
    window_ = std::make_unique<MainWindowQt>(store);
    window_->resize(1000, 760);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    for (int i = 0; i < 3; ++i) {
        reference_.push_back(write_frame("ref", i, 48, 32));
        degraded_.push_back(write_frame("deg", i, 48, 32));
        other_size_.push_back(write_frame("other", i, 24, 16));
    }
}

void GuiFaultsTest::field_numbers_take_a_decimal_comma_and_refuse_words() {
    struct Case {
        const char* typed;
        std::optional<std::string> read;
    };
    const Case cases[] = {
        {"0,9210", "0.9210"},
        {"6,5", "6.5"},
        {" 6.5 ", "6.5"},
        {"", ""},
        {"  ", ""},
        {"-0,1080", "-0.1080"},
        {"+2", "+2"},
        {"1e-3", "1e-3"},
        {"abc", std::nullopt},
        {"6,5,1", std::nullopt},
        {"1.000,5", std::nullopt},
        {"6 5", std::nullopt},
        {"6x", std::nullopt},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"1e999", std::nullopt},
        {"+-1", std::nullopt},
    };
    for (const Case& c : cases) {
        QCOMPARE(field_number_text(c.typed), c.read);
    }
}

void GuiFaultsTest::replacing_a_sequence_clears_the_results_everywhere() {
    FrameStore& store = window_->store();
    measure();
    window_->run_command(command::results_window);
    QVERIFY(!results_view(store).points.empty());
    QVERIFY(quarter_text().contains(QStringLiteral("色差 平均")));
    QTRY_VERIFY(window_->pane(Pane::lower)->last_drawing().drawn);

    // A degraded sequence of another size replaces the pair: nothing measured is left.
    window_->drop(Pane::right, other_size_);
    settle();
    QCOMPARE(store.diff_ready, 0);
    QVERIFY(results_view(store).points.empty());
    QVERIFY(!quarter_text().contains(QStringLiteral("色差 平均")));
    QVERIFY(quarter_text().contains(QStringLiteral("other_0.bmp")));
    QTRY_VERIFY(!window_->pane(Pane::lower)->last_drawing().drawn);
    for (int part = 0; part < 3; ++part) {
        QVERIFY(window_->pane(Pane::lower)->status()->part_text(part).isEmpty());
    }
    for (int i = 0; i < 3; ++i) QVERIFY(store.diff_results[i].data.empty());
    // The reference frames keep their own size in the left pane, though the slots' shared
    // geometry is now the degraded frames'.
    window_->platform().invalidate(Window::main, true);
    settle();
    window_->pane(Pane::left)->repaint();
    QCOMPARE(window_->pane(Pane::left)->last_drawing().source_width, 48);
    QCOMPARE(window_->pane(Pane::right)->last_drawing().source_width, 24);
    // The export is refused, as before.
    const auto shown = capture_messages([&] { window_->run_command(command::export_results); });
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, std::string(export_needs_results_text));

    // The same through the colour-difference dialog's 劣化画像, then キャンセル.
    measure();
    Platform& platform = window_->platform();
    const auto open_files = platform.open_files;
    platform.open_files = [this](const FileDialogRequest&) {
        return std::optional<std::vector<std::string>>(other_size_);
    };
    FakeItems fake;
    DialogItems items = fake.items();
    DialogHandlers handlers = make_dialog_handlers("COLOR_DIFF_DLG", store, platform);
    handlers.open(items);
    handlers.command(items, colour_diff_item::open_degraded);
    handlers.command(items, item::cancel);
    platform.open_files = open_files;
    settle();
    QCOMPARE(fake.ended, item::cancel);
    QCOMPARE(store.diff_ready, 0);
    QVERIFY(!quarter_text().contains(QStringLiteral("色差 平均")));
    QVERIFY(results_view(store).points.empty());

    // A new reference sequence clears them as well.
    measure();
    window_->drop(Pane::left, reference_);
    QCOMPARE(store.diff_ready, 0);
    window_->results_window()->close();
}

void GuiFaultsTest::typed_numbers_with_a_comma_and_refusals_name_the_field() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    // The filter dialog: "0,9210" is 0.921, as "0.9210" is.
    FakeItems fake;
    DialogItems items = fake.items();
    DialogHandlers filters = make_dialog_handlers("ATD_SETTING_DLG", store, platform);
    filters.open(items);
    fake.texts[1015] = "0,9210";  // A weight 1
    fake.texts[1010] = "0,05";    // A spread 1
    filters.command(items, item::ok);
    QCOMPARE(fake.ended, item::ok);
    QCOMPARE(store.atd_filters.a.weights[0], 0.921);
    QCOMPARE(store.atd_filters.a.spreads[0], 0.05);

    // A word: refused with the field's name; the filters stay as they were.
    FakeItems again;
    DialogItems items2 = again.items();
    DialogHandlers filters2 = make_dialog_handlers("ATD_SETTING_DLG", store, platform);
    filters2.open(items2);
    again.texts[1019] = "abc";  // T spread 2
    const AtdFilters before = store.atd_filters;
    const auto shown = capture_messages([&] { filters2.command(items2, item::ok); });
    QCOMPARE(again.ended, 0);
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0].text, field_not_number_text("Tフィルター 標準偏差 2", "abc"));
    QCOMPARE(store.atd_filters.t.spreads, before.t.spreads);

    // The noise dialog: σ "6,5" gives the frames "6.5" gives; "abc" runs nothing.
    window_->drop(Pane::left, reference_);
    platform.tick_count = [] { return std::uint32_t{7}; };
    auto noisy = [&](const char* sigma) {
        FakeItems n;
        DialogItems ni = n.items();
        n.texts = {{noise_item::sigma_red, sigma},
                   {noise_item::sigma_green, "0"},
                   {noise_item::sigma_blue, ""}};
        const bool made = make_noisy_sequence(store, platform, ni);
        const auto& bytes = store.degraded_pixels[1].bytes;
        return made ? std::vector<std::uint8_t>(bytes.begin(), bytes.end())
                    : std::vector<std::uint8_t>{};
    };
    const std::vector<std::uint8_t> point = noisy("6.5");
    QVERIFY(!point.empty());
    QCOMPARE(noisy("6,5"), point);
    QVERIFY(noisy("6") != point);
    const int changes = store.input_changes;
    std::vector<std::uint8_t> refused;
    const auto words = capture_messages([&] { refused = noisy("abc"); });
    QVERIFY(refused.empty());
    QCOMPARE(words.size(), std::size_t{1});
    QCOMPARE(words[0].text, field_not_number_text("Rチャンネル", "abc"));
    QCOMPARE(store.input_changes, changes);  // nothing ran
}

void GuiFaultsTest::figures_keep_a_decimal_point_under_a_comma_locale() {
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string keep = saved != nullptr ? saved : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) QSKIP("no de_DE.UTF-8 locale");
    measure();
    const QString quarter = quarter_text();
    const ResultsView view = results_view(window_->store());
    const std::vector<std::string> pooled = pooled_lines(view);
    std::setlocale(LC_NUMERIC, keep.c_str());
    QVERIFY(quarter.contains(QStringLiteral("色差 平均 ")));
    QVERIFY2(!quarter.contains(QRegularExpression(QStringLiteral("\\d,\\d"))), qPrintable(quarter));
    QVERIFY(quarter.contains(QRegularExpression(QStringLiteral("平均 \\d+\\.\\d{6}"))));
    for (const std::string& line : pooled) {
        QVERIFY2(QString::fromStdString(line).contains(
                     QRegularExpression(QStringLiteral("\\d\\.\\d{6}"))),
                 line.c_str());
        QVERIFY(
            !QString::fromStdString(line).contains(QRegularExpression(QStringLiteral("\\d,\\d"))));
    }
}

void GuiFaultsTest::status_parts_show_the_widest_readouts_whole() {
    // At the window's default size every pane's parts hold their widest readouts whole.
    MainWindowQt window(window_->store());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (Pane pane : {Pane::left, Pane::right, Pane::lower}) {
        StatusStrip* strip = window.pane(pane)->status();
        const std::array<std::string, 3> widest = widest_readouts(pane);
        for (int part = 0; part < 3; ++part) {
            const QString text = QString::fromStdString(widest[static_cast<std::size_t>(part)]);
            const int need = strip->fontMetrics().horizontalAdvance(text);
            QVERIFY2(strip->text_rect(part).width() >= need, qPrintable(text));
        }
        QVERIFY(strip->part_edges()[2] <= strip->width());
    }
    // The edges follow the text widths.
    QCOMPARE((status_part_edges_for({100, 130, 0}, 10)), (std::array<int, 3>{110, 250, 260}));
}

void GuiFaultsTest::colour_bar_comes_and_goes_at_once_in_the_window_font() {
    FrameStore& store = window_->store();
    measure();
    ClientArea* client = window_->client();
    const QRect quarter = window_->quarter_rect();
    // Where the bar's middle would be: 16 pixels in from the quarter's left, near its top.
    const QPoint probe(quarter.left() + 16 + 8, quarter.top() + 12 + 100);
    auto grab_at = [&] {
        settle();
        return client->grab().toImage().pixel(probe);
    };
    QCOMPARE(grab_at(), qRgb(255, 255, 255));
    window_->run_command(command::heatmap_view);
    QVERIFY(store.heatmap_view);
    QVERIFY(colour_bar_shown(store));
    // One paint after the command: the bar is there (a viridis colour, not white).
    QVERIFY(grab_at() != qRgb(255, 255, 255));
    // The same size whatever the frame's size: drawn on a painter, right edge from the font.
    QImage canvas(400, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    const int right = draw_colour_bar(painter, client->font(), QPoint(0, 0));
    painter.end();
    QVERIFY(right >= 16 + client->fontMetrics().horizontalAdvance(QStringLiteral("5+")));
    QCOMPARE(canvas.pixel(8, client->fontMetrics().height() / 2 + 199) != qRgb(255, 255, 255),
             true);
    window_->run_command(command::heatmap_view);
    QVERIFY(!colour_bar_shown(store));
    QCOMPARE(grab_at(), qRgb(255, 255, 255));
}

void GuiFaultsTest::each_degraded_frame_names_its_own_file() {
    FrameStore& store = window_->store();
    window_->drop(Pane::left, reference_);
    window_->drop(Pane::right, degraded_);
    QVERIFY(go_to_frame(store, window_->platform(), 0));
    QVERIFY(quarter_text().contains(QStringLiteral("劣化画像: deg_0.bmp")));
    QVERIFY(go_to_frame(store, window_->platform(), 1));
    QVERIFY(quarter_text().contains(QStringLiteral("劣化画像: deg_1.bmp")));
    QVERIFY(go_to_frame(store, window_->platform(), 0));
}

void GuiFaultsTest::dialog_labels_show_whole() {
    FrameStore store;
    Platform platform;
    for (const DialogTemplate& t : dialog_templates()) {
        TemplateDialog dialog(t, DialogHandlers{}, nullptr);
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            const int need = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->width() >= need, qPrintable(label->text()));
        }
        for (QLineEdit* edit : dialog.findChildren<QLineEdit*>()) {
            QVERIFY(edit->font().pointSizeF() >= 9.0);
        }
    }
    // The unit grows just enough: 75 units at 5 pixels per 4 are 94 pixels; 112 need 6.
    QCOMPARE(unit_for_width(5, 94, 75), 5);
    QCOMPARE(unit_for_width(5, 112, 75), 6);
    QCOMPARE(unit_for_width(7, 10, 75), 7);
}

void GuiFaultsTest::saving_onto_existing_files_asks_once() {
    FrameStore& store = window_->store();
    window_->drop(Pane::left, reference_);
    window_->drop(Pane::right, degraded_);
    const std::string base = folder_.file("saved");
    // Two of the three names exist.
    for (int i : {0, 2}) test::write_file(numbered_name(base, i), test::Bytes{'k', 'e', 'e', 'p'});
    Platform& platform = window_->platform();
    const auto save_file = platform.save_file;
    platform.save_file = [&base](const FileDialogRequest&) {
        return std::optional<std::string>(base + ".bmp");
    };
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    auto cancelled =
        capture_messages([&] { window_->run_command(command::save); }, MessageAnswer::cancel);
    QCOMPARE(cancelled.size(), std::size_t{1});
    QCOMPARE(cancelled[0].text, "2" + std::string(existing_files_text));
    QCOMPARE(cancelled[0].buttons, MessageButtons::skip_cancel);
    QVERIFY(!std::filesystem::exists(numbered_name(base, 1)));

    auto skipped =
        capture_messages([&] { window_->run_command(command::save); }, MessageAnswer::skip);
    platform.save_file = save_file;
    QCOMPARE(skipped.size(), std::size_t{1});
    QCOMPARE(bytes(numbered_name(base, 0)), std::string("keep"));
    QCOMPARE(bytes(numbered_name(base, 2)), std::string("keep"));
    QVERIFY(bytes(numbered_name(base, 1)).size() > 100);
    (void)store;

    // The real box: its two buttons.
    MessageRequest request;
    request.text = "1" + std::string(existing_files_text);
    request.caption = save_dialog_title;
    request.buttons = MessageButtons::skip_cancel;
    QTimer::singleShot(50, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        QStringList texts;
        for (QAbstractButton* b : box->buttons()) texts << b->text();
        QVERIFY(texts.contains(QStringLiteral("上書きしない")));
        QVERIFY(texts.contains(QStringLiteral("キャンセル")));
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == QStringLiteral("上書きしない")) b->click();
        }
    });
    QCOMPARE(platform.message_box(request), MessageAnswer::skip);
}

void GuiFaultsTest::results_window_opens_on_the_screen() {
    const QRect area = window_->screen()->availableGeometry();
    window_->move(area.right() - 200, area.bottom() - 150);
    settle();
    window_->run_command(command::results_window);
    ResultsWindow* results = window_->results_window();
    QVERIFY(results != nullptr);
    QTRY_VERIFY(results->isVisible());
    QVERIFY2(area.contains(results->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(results->frameGeometry().x())
                            .arg(results->frameGeometry().y())
                            .arg(results->frameGeometry().width())
                            .arg(results->frameGeometry().height())));
    results->close();
    window_->move(area.topLeft());
    // The rule itself, in a table.
    struct Case {
        PaneRect window;
        PaneRect placed;
    };
    const PaneRect screen{0, 0, 1000, 800};
    const Case cases[] = {
        {{100, 100, 300, 200}, {100, 100, 300, 200}},  // inside: kept
        {{900, 700, 300, 200}, {700, 600, 300, 200}},  // off the right and bottom
        {{-50, -20, 300, 200}, {0, 0, 300, 200}},      // off the left and top
        {{10, 10, 1200, 900}, {0, 0, 1000, 800}},      // larger: shrunk
    };
    for (const Case& c : cases) {
        const PaneRect r = keep_inside(c.window, screen);
        QCOMPARE((std::array<int, 4>{r.x, r.y, r.width, r.height}),
                 (std::array<int, 4>{c.placed.x, c.placed.y, c.placed.width, c.placed.height}));
    }
}

void GuiFaultsTest::environment_ok_checks_the_profile() {
    FrameStore& store = window_->store();
    // A copy of the default profile whose RGB-to-XYZ matrix is singular (two equal rows).
    const std::filesystem::path bad = folder_.file("singular");
    std::filesystem::create_directories(bad);
    for (const auto& entry : std::filesystem::directory_iterator(ORV_DEFAULT_PROFILE)) {
        if (entry.is_regular_file()) {
            std::filesystem::copy_file(entry.path(), bad / entry.path().filename());
        }
    }
    std::ofstream((bad / "RGBtoXYZ_mat.txt").string()) << "1 1 1\n1 1 1\n0 0 1\n";
    const std::string kept = store.profile_folder;
    store.profile_folder = bad.string();
    FakeItems fake;
    DialogItems items = fake.items();
    DialogHandlers handlers = make_dialog_handlers("SETTING_DLG", store, window_->platform());
    handlers.open(items);
    const auto shown = capture_messages([&] { handlers.command(items, item::ok); });
    QCOMPARE(fake.ended, 0);  // stays open
    QCOMPARE(shown.size(), std::size_t{1});
    store.profile_folder = kept;
    FakeItems good;
    DialogItems good_items = good.items();
    DialogHandlers again = make_dialog_handlers("SETTING_DLG", store, window_->platform());
    again.open(good_items);
    again.command(good_items, item::ok);
    QCOMPARE(good.ended, item::ok);
}

void GuiFaultsTest::no_readout_outside_the_picture() {
    FrameStore& store = window_->store();
    // A tall frame: the scale rule fits its height, so the pane has room right of it.
    window_->drop(Pane::left, {write_frame("tall", 0, 16, 48)});
    window_->platform().invalidate(Window::main, true);
    ImagePane* left = window_->pane(Pane::left);
    QTRY_VERIFY(left->last_drawing().drawn);
    const PaneDrawing& d = left->last_drawing();
    auto move_to = [&](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(left->contentsRect().topLeft() + at),
                         left->mapToGlobal(QPointF(left->contentsRect().topLeft() + at)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(left, &move);
        settle();
        left->repaint();
    };
    move_to(QPoint(2, 2));
    QVERIFY(!left->status()->part_text(1).isEmpty());
    // Beside or below the picture (inside the pane): nothing, not the clamped last column or
    // row.
    const int free_height = left->contentsRect().height() - left->status()->height();
    QPoint outside;
    if (d.dest_width + 5 < left->contentsRect().width()) {
        outside = QPoint(d.dest_width + 3, 2);
    } else {
        QVERIFY(d.dest_height + 5 < free_height);
        outside = QPoint(2, d.dest_height + 3);
    }
    move_to(outside);
    QVERIFY(store.cursor_outside);
    QVERIFY(left->status()->part_text(0).isEmpty());
    QVERIFY(left->status()->part_text(1).isEmpty());
    move_to(QPoint(2, 2));
    QVERIFY(!store.cursor_outside);
    QVERIFY(!left->status()->part_text(1).isEmpty());
}

void GuiFaultsTest::export_records_the_noise() {
    FrameStore& store = window_->store();
    Platform& platform = window_->platform();
    window_->drop(Pane::left, reference_);
    FakeItems n;
    DialogItems ni = n.items();
    n.texts = {{noise_item::sigma_red, "2,5"},
               {noise_item::sigma_green, "1"},
               {noise_item::sigma_blue, "0"}};
    QVERIFY(make_noisy_sequence(store, platform, ni));
    QCOMPARE(noise_record_text(store),
             std::string("ランダムノイズ: σ R 2.5, G 1, B 0; seed tick count"));
    QVERIFY(make_difference_sequence(store, platform));
    const std::string base = folder_.file("noise_export");
    const auto save_file = platform.save_file;
    platform.save_file = [&base](const FileDialogRequest&) {
        return std::optional<std::string>(base + ".csv");
    };
    capture_messages([&] { window_->run_command(command::export_results); });
    platform.save_file = save_file;
    std::ifstream json(base + ".json");
    const std::string text((std::istreambuf_iterator<char>(json)),
                           std::istreambuf_iterator<char>());
    QVERIFY2(text.find("σ R 2.5, G 1, B 0; seed tick count") != std::string::npos, text.c_str());
    std::ifstream html(base + ".html");
    const std::string page((std::istreambuf_iterator<char>(html)),
                           std::istreambuf_iterator<char>());
    QVERIFY(page.find("σ R 2.5, G 1, B 0") != std::string::npos);
}

}  // namespace orv

QTEST_MAIN(orv::GuiFaultsTest)
#include "test_gui_faults.moc"
