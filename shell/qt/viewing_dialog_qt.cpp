#include "shell/qt/viewing_dialog_qt.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "numeric/failure.h"
#include "shell/failure_texts.h"
#include "shell/qt/remembered.h"

namespace orv {

namespace {

QString text_of(const std::string& text) { return QString::fromStdString(text); }

constexpr const char* settings_key = "viewing";

}  // namespace

ViewingDialogQt::ViewingDialogQt(FrameStore& store, QWidget* parent)
    : QDialog(parent), store_(store) {
    setWindowTitle(text_of(viewing_dialog_caption));
    setObjectName(viewing_dialog_name);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    mode_ = new QComboBox(this);
    for (const std::string& text : viewing_mode_texts()) mode_->addItem(text_of(text));
    form->addRow(QStringLiteral("指定方法"), mode_);
    preset_ = new QComboBox(this);
    for (const std::string& text : viewing_preset_texts()) preset_->addItem(text_of(text));
    form->addRow(QStringLiteral("プリセット"), preset_);
    for (const std::string& label : viewing_field_labels()) {
        auto* edit = new QLineEdit(this);
        fields_.push_back(edit);
        form->addRow(text_of(label), edit);
        connect(edit, &QLineEdit::textChanged, this, [this] { update_preview(); });
    }
    layout->addLayout(form);
    preview_ = new QLabel(this);
    preview_->setWordWrap(true);
    preview_->setMinimumWidth(360);
    layout->addWidget(preview_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* standard =
        buttons->addButton(text_of(viewing_default_button_text), QDialogButtonBox::ResetRole);
    standard->setObjectName("restore_default");
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(standard, &QPushButton::clicked, this, [this] { restore_default(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(mode_, &QComboBox::currentIndexChanged, this, [this] {
        show_state(state());  // enables the mode's fields
    });
    connect(preset_, &QComboBox::currentIndexChanged, this, [this] { update_preview(); });

    show_state(viewing_dialog_state(store.viewing));
}

ViewingDialogState ViewingDialogQt::state() const {
    ViewingDialogState s;
    s.mode = static_cast<ViewingMode>(mode_->currentIndex());
    s.preset = preset_->currentIndex();
    for (std::size_t k = 0; k < fields_.size(); ++k) s.fields[k] = fields_[k]->text().toStdString();
    return s;
}

void ViewingDialogQt::show_state(const ViewingDialogState& s) {
    const QSignalBlocker block_mode(mode_);
    const QSignalBlocker block_preset(preset_);
    mode_->setCurrentIndex(static_cast<int>(s.mode));
    preset_->setCurrentIndex(s.preset);
    preset_->setEnabled(s.mode == ViewingMode::preset);
    for (std::size_t k = 0; k < fields_.size(); ++k) {
        const QSignalBlocker block(fields_[k]);
        if (fields_[k]->text().toStdString() != s.fields[k])
            fields_[k]->setText(text_of(s.fields[k]));
        fields_[k]->setEnabled(viewing_field_used(s.mode, static_cast<int>(k)));
    }
    update_preview();
}

void ViewingDialogQt::update_preview() {
    preview_->setText(text_of(viewing_preview(state(), store_)));
}

void ViewingDialogQt::restore_default() { show_state(default_viewing_dialog_state()); }

void ViewingDialogQt::accept() {
    try {
        const ViewingOptions options = viewing_dialog_options(state());
        if (store_.atd_filter_set == 1) {
            (void)viewing_geometry(options, OptionStyle::keyword, store_.atd_filters,
                                   kernel_sample_angle);
        } else {
            (void)viewing_geometry(options, OptionStyle::keyword);
        }
        store_.viewing = options;
    } catch (const Failure& failure) {
        QMessageBox::information(this, QStringLiteral("CAUTION !!"),
                                 text_of(gui_failure_line(failure)));
        return;
    }
    save_viewing_setting(store_);
    QDialog::accept();
}

int run_viewing_dialog_qt(QWidget* owner, FrameStore& store) {
    ViewingDialogQt dialog(store, owner);
    return dialog.exec() == QDialog::Accepted ? 1 : 2;
}

// The viewing setting is remembered with the program's other settings (orv.ini), and only
// where the program has enabled them: windows made without it (the tests') neither read nor
// write the user's settings.
void load_viewing_setting(FrameStore& store) {
    const std::unique_ptr<QSettings> settings = remembered_settings();
    if (!settings) return;
    store.viewing = parse_viewing_setting(settings->value(settings_key).toString().toStdString());
}

void save_viewing_setting(const FrameStore& store) {
    const std::unique_ptr<QSettings> settings = remembered_settings();
    if (!settings) return;
    settings->setValue(settings_key, text_of(viewing_setting_text(store.viewing)));
}

}  // namespace orv
