#pragma once
// ORV's encoder window: input frames, codec, rate control and its value, preset, output file,
// "開始" with a progress bar, and at the end the written bitstream and decoded frames. The
// choices and the run are shell/encoder_form's; this file only builds the widgets.

#include <string>
#include <vector>

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace orv {

class EncoderWindow : public QWidget {
public:
    explicit EncoderWindow(QWidget* parent = nullptr);

    // What the two file dialogs would answer.
    void set_inputs(const std::vector<std::string>& paths);
    void set_output(const std::string& path);
    // The "開始" button: runs the encoder with the form as filled; false when it was refused.
    bool start();

    QComboBox* codec() const { return codec_; }
    QComboBox* rate() const { return rate_; }
    QLineEdit* value() const { return value_; }
    QComboBox* preset() const { return preset_; }
    QComboBox* pixel_format() const { return pixel_format_; }
    QComboBox* matrix() const { return matrix_; }
    QComboBox* range() const { return range_; }
    QPushButton* start_button() const { return start_; }
    QProgressBar* progress() const { return progress_; }
    QPlainTextEdit* result() const { return result_; }
    const std::vector<std::string>& decoded() const { return decoded_; }

private:
    void choose_inputs();
    void choose_output();
    void fill_presets();

    std::vector<std::string> inputs_;
    std::vector<std::string> decoded_;
    QLineEdit* inputs_text_ = nullptr;
    QComboBox* codec_ = nullptr;
    QComboBox* rate_ = nullptr;
    QLineEdit* value_ = nullptr;
    QComboBox* preset_ = nullptr;
    QComboBox* pixel_format_ = nullptr;
    QComboBox* matrix_ = nullptr;
    QComboBox* range_ = nullptr;
    QLineEdit* output_ = nullptr;
    QPushButton* start_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPlainTextEdit* result_ = nullptr;
};

}  // namespace orv
