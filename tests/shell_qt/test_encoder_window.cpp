// ORV's encoder window on the offscreen platform: choices, a run through "開始" with its
// progress bar and result list, and refusals shown as message boxes.

#include <filesystem>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "image/bmp_file.h"
#include "media/media_source.h"
#include "shell/qt/encoder/encoder_window.h"
#include "shell/qt/main_window_qt.h"
#include "tests/shell_qt/helper_message_boxes.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/temp_folder.h"

namespace orv {

class EncoderWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void codec_choice_fills_the_presets();
    void start_encodes_and_lists_the_files();
    void refusals_show_a_message_and_write_nothing();
    void pixel_format_matrix_and_range_reach_the_encoder();

private:
    test::TempFolder folder_;
    std::vector<std::string> frames_;
};

void EncoderWindowTest::initTestCase() {
    QVERIFY(install_japanese_translations());
    for (int i = 0; i < 3; ++i) {
        test::BmpSpec spec;
        spec.width = 96;
        spec.height = 64;
        spec.gap_byte = static_cast<std::uint8_t>(i);
        frames_.push_back(folder_.file("in_" + std::to_string(i) + ".bmp"));
        test::write_file(frames_.back(), test::make_bmp(spec));
    }
}

void EncoderWindowTest::codec_choice_fills_the_presets() {
    EncoderWindow window;
    QCOMPARE(window.codec()->count(), 3);
    QCOMPARE(window.preset()->currentText(), QStringLiteral("medium"));
    window.codec()->setCurrentIndex(2);  // AV1: the speed steps
    QCOMPARE(window.preset()->itemText(0), QStringLiteral("0"));
    QCOMPARE(window.preset()->currentText(), QStringLiteral("6"));
    window.rate()->setCurrentIndex(2);
    QCOMPARE(window.value()->text(), QStringLiteral("800k"));
}

void EncoderWindowTest::start_encodes_and_lists_the_files() {
    EncoderWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.set_inputs(frames_);
    window.value()->setText(QStringLiteral("30"));
    window.preset()->setCurrentText(QStringLiteral("veryfast"));
    const std::string out = folder_.file("coded.mp4");
    window.set_output(out);
    QTest::mouseClick(window.start_button(), Qt::LeftButton);

    QCOMPARE(window.progress()->value(), 6);  // three frames encoded, three decoded
    QCOMPARE(window.progress()->maximum(), 6);
    QVERIFY(std::filesystem::exists(out));
    QCOMPARE(window.decoded().size(), std::size_t{3});
    const QString result = window.result()->toPlainText();
    QVERIFY(result.contains(QString::fromStdString(out)));
    for (const std::string& path : window.decoded()) {
        QVERIFY(std::filesystem::exists(path));
        QVERIFY(result.contains(QString::fromStdString(path)));
    }
    QVERIFY(result.contains(QStringLiteral("libx264")));
    window.grab().save(QStringLiteral(ORV_SCREENSHOT_DIR "/encoder-window.png"));
}

void EncoderWindowTest::refusals_show_a_message_and_write_nothing() {
    struct Case {
        const char* name;
        bool inputs;
        QString value;
        QString output;
        QString words;
    };
    const QString out = QString::fromStdString(folder_.file("refused.mp4"));
    const Case cases[] = {
        {"no input", false, "23", out, QStringLiteral("入力画像を選んで下さい")},
        {"no output", true, "23", "", QStringLiteral("出力ファイルを指定して下さい")},
        {"not a number", true, "abc", out, QStringLiteral("値「abc」は数値ではありません")},
        {"crf out of range", true, "60", out,
         QStringLiteral("設定が正しくありません:\nCRF 60 は libx264 で使える範囲外です")},
    };
    for (const Case& c : cases) {
        EncoderWindow window;
        window.show();
        if (c.inputs) window.set_inputs(frames_);
        window.value()->setText(c.value);
        window.set_output(c.output.toStdString());
        test::SeenMessageBox box;
        test::answer_next_message_box(QMessageBox::Ok, box);
        QVERIFY2(!window.start(), c.name);
        QVERIFY2(box.seen, c.name);
        QVERIFY2(box.text.contains(c.words), qPrintable(box.text));
        QCOMPARE(box.caption, QStringLiteral("CAUTION !! "));
        QVERIFY(!std::filesystem::exists(out.toStdString()));
    }
}

// Odd-sized frames cannot be subsampled: refused in Japanese under 4:2:0 with nothing written,
// encoded under 4:4:4; the matrix and range chosen are the ones the run uses.
void EncoderWindowTest::pixel_format_matrix_and_range_reach_the_encoder() {
    std::vector<std::string> odd;
    for (int i = 0; i < 2; ++i) {
        test::BmpSpec spec;
        spec.width = 95;
        spec.height = 63;
        spec.gap_byte = static_cast<std::uint8_t>(i);
        odd.push_back(folder_.file("odd_" + std::to_string(i) + ".bmp"));
        test::write_file(odd.back(), test::make_bmp(spec));
    }
    EncoderWindow window;
    window.show();
    QCOMPARE(window.pixel_format()->currentText(), QStringLiteral("4:2:0 (yuv420p)"));
    QCOMPARE(window.matrix()->currentText(), QStringLiteral("BT.709"));
    QCOMPARE(window.range()->currentIndex(), 0);
    window.set_inputs(odd);
    window.preset()->setCurrentText(QStringLiteral("ultrafast"));
    const std::string out = folder_.file("odd.mp4");
    window.set_output(out);
    test::SeenMessageBox box;
    test::answer_next_message_box(QMessageBox::Ok, box);
    QVERIFY(!window.start());
    QVERIFY(box.seen);
    QVERIFY2(
        box.text.contains(QStringLiteral("95 x 63 のフレームは yuv420p でエンコードできません")),
        qPrintable(box.text));
    QVERIFY(!std::filesystem::exists(out));

    window.pixel_format()->setCurrentIndex(1);
    window.matrix()->setCurrentIndex(0);
    window.range()->setCurrentIndex(1);
    QVERIFY(window.start());
    QVERIFY(std::filesystem::exists(out));
    QCOMPARE(window.decoded().size(), std::size_t{2});
    const MediaSource coded = open_media(out, MediaOptions{});
    QCOMPARE(coded.width, 95);
    const QString colour = QString::fromStdString(coded.colour);
    QVERIFY2(colour.contains(QStringLiteral("444p")), qPrintable(colour));
    QVERIFY2(colour.contains(QStringLiteral("BT.601 (tagged)")), qPrintable(colour));
    QVERIFY2(colour.contains(QStringLiteral("full range (tagged)")), qPrintable(colour));
}

}  // namespace orv

QTEST_MAIN(orv::EncoderWindowTest)
#include "test_encoder_window.moc"
