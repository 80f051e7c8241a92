#include "shell/qt/encoder/encoder_window.h"

#include <new>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "numeric/failure.h"
#include "shell/encoder_form.h"

namespace orv {

namespace {

QString text_of(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

EncoderWindow::EncoderWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("ORV エンコーダ"));
    auto* form = new QFormLayout;

    inputs_text_ = new QLineEdit;
    inputs_text_->setReadOnly(true);
    inputs_text_->setObjectName(QStringLiteral("inputs"));
    auto* inputs_button = new QPushButton(QStringLiteral("入力画像"));
    auto* inputs_row = new QHBoxLayout;
    inputs_row->addWidget(inputs_text_);
    inputs_row->addWidget(inputs_button);
    form->addRow(QStringLiteral("入力:"), inputs_row);

    codec_ = new QComboBox;
    codec_->setObjectName(QStringLiteral("codec"));
    for (const EncoderChoice& c : encoder_form_codecs()) codec_->addItem(text_of(c.label));
    form->addRow(QStringLiteral("コーデック:"), codec_);

    rate_ = new QComboBox;
    rate_->setObjectName(QStringLiteral("rate"));
    for (const EncoderChoice& c : encoder_form_rates()) rate_->addItem(text_of(c.label));
    value_ = new QLineEdit(text_of(encoder_form_default_value(0)));
    value_->setObjectName(QStringLiteral("value"));
    auto* rate_row = new QHBoxLayout;
    rate_row->addWidget(rate_);
    rate_row->addWidget(value_);
    form->addRow(QStringLiteral("レート制御:"), rate_row);

    preset_ = new QComboBox;
    preset_->setObjectName(QStringLiteral("preset"));
    form->addRow(QStringLiteral("プリセット:"), preset_);

    // The bitstream's YUV form: chroma subsampling, matrix and range.
    const EncoderForm defaults;
    auto choices = [](const char* name, const std::vector<EncoderChoice>& items, int chosen) {
        auto* box = new QComboBox;
        box->setObjectName(QString::fromLatin1(name));
        for (const EncoderChoice& c : items) box->addItem(text_of(c.label));
        box->setCurrentIndex(chosen);
        return box;
    };
    pixel_format_ = choices("pixel_format", encoder_form_pixel_formats(), defaults.pixel_format);
    matrix_ = choices("matrix", encoder_form_matrices(), defaults.matrix);
    range_ = choices("range", encoder_form_ranges(), defaults.range);
    auto* yuv_row = new QHBoxLayout;
    yuv_row->addWidget(pixel_format_);
    yuv_row->addWidget(new QLabel(QStringLiteral("色変換行列:")));
    yuv_row->addWidget(matrix_);
    yuv_row->addWidget(new QLabel(QStringLiteral("レンジ:")));
    yuv_row->addWidget(range_);
    form->addRow(QStringLiteral("画素形式:"), yuv_row);

    output_ = new QLineEdit;
    output_->setObjectName(QStringLiteral("output"));
    auto* output_button = new QPushButton(QStringLiteral("保存先"));
    auto* output_row = new QHBoxLayout;
    output_row->addWidget(output_);
    output_row->addWidget(output_button);
    form->addRow(QStringLiteral("出力:"), output_row);

    start_ = new QPushButton(QStringLiteral("開始"));
    start_->setObjectName(QStringLiteral("start"));
    progress_ = new QProgressBar;
    progress_->setRange(0, 1);
    progress_->setValue(0);
    auto* start_row = new QHBoxLayout;
    start_row->addWidget(progress_, 1);
    start_row->addWidget(start_);

    result_ = new QPlainTextEdit;
    result_->setReadOnly(true);
    result_->setObjectName(QStringLiteral("result"));
    result_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(start_row);
    layout->addWidget(result_, 1);
    resize(560, 480);

    fill_presets();
    connect(inputs_button, &QPushButton::clicked, this, [this] { choose_inputs(); });
    connect(output_button, &QPushButton::clicked, this, [this] { choose_output(); });
    connect(codec_, &QComboBox::currentIndexChanged, this, [this] { fill_presets(); });
    connect(rate_, &QComboBox::currentIndexChanged, this,
            [this](int index) { value_->setText(text_of(encoder_form_default_value(index))); });
    connect(start_, &QPushButton::clicked, this, [this] { start(); });
}

void EncoderWindow::fill_presets() {
    preset_->clear();
    for (const std::string& p : encoder_form_presets(codec_->currentIndex())) {
        preset_->addItem(text_of(p));
    }
    preset_->setCurrentText(text_of(encoder_form_default_preset(codec_->currentIndex())));
}

void EncoderWindow::set_inputs(const std::vector<std::string>& paths) {
    inputs_ = paths;
    if (paths.empty()) {
        inputs_text_->clear();
    } else {
        inputs_text_->setText(text_of(paths.front()) +
                              QStringLiteral(" ほか %1 枚").arg(paths.size() - 1));
    }
}

void EncoderWindow::set_output(const std::string& path) { output_->setText(text_of(path)); }

void EncoderWindow::choose_inputs() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QStringLiteral("ファイルを開く！"), QString(),
                                      QStringLiteral("BMP files(*.bmp);;All Files(*.*)"));
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    set_inputs(paths);
}

void EncoderWindow::choose_output() {
    QFileDialog dialog(this, QStringLiteral("保存ファイル"), QString(),
                       QStringLiteral("MP4 files(*.mp4);;All Files(*.*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("mp4"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    set_output(dialog.selectedFiles().front().toStdString());
}

bool EncoderWindow::start() {
    EncoderForm form;
    form.inputs = inputs_;
    form.codec = codec_->currentIndex();
    form.rate = rate_->currentIndex();
    form.value = value_->text().trimmed().toStdString();
    form.preset = preset_->currentText().toStdString();
    form.pixel_format = pixel_format_->currentIndex();
    form.matrix = matrix_->currentIndex();
    form.range = range_->currentIndex();
    form.output = output_->text().trimmed().toStdString();

    setEnabled(false);
    progress_->setRange(0, 2 * static_cast<int>(inputs_.size()));
    progress_->setValue(0);
    result_->clear();
    bool done = false;
    try {
        const EncoderRunResult result = run_encoder_form(form, [this](int n, int total) {
            progress_->setRange(0, total);
            progress_->setValue(n);
            QCoreApplication::processEvents();
        });
        decoded_ = result.decoded;
        result_->setPlainText(text_of(encoder_result_text(result)));
        done = true;
    } catch (const Failure& failure) {
        setEnabled(true);
        QMessageBox::warning(this, QStringLiteral("CAUTION !! "),
                             text_of(encoder_form_failure_text(failure)));
    } catch (const std::bad_alloc&) {
        setEnabled(true);
        QMessageBox::warning(this, QStringLiteral("CAUTION !! "),
                             QStringLiteral("メモリが不足しているため処理できません"));
    }
    setEnabled(true);
    if (!done) progress_->setValue(0);
    return done;
}

}  // namespace orv
