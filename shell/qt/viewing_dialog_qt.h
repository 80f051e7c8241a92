#pragma once
// 設定 → 観察条件 over Qt: the form or preset, its value fields, the pixels per degree shown as
// they change, 既定に戻す, OK and キャンセル. The logic is shell/viewing_settings.h; this file
// only shows its state and remembers the accepted setting in QSettings.

#include <vector>

#include <QDialog>

#include "shell/frame_store.h"
#include "shell/viewing_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace orv {

class ViewingDialogQt : public QDialog {
    Q_OBJECT
public:
    ViewingDialogQt(FrameStore& store, QWidget* parent = nullptr);

    // The state the widgets show (for tests and for OK).
    ViewingDialogState state() const;
    QComboBox* mode_box() const { return mode_; }
    QComboBox* preset_box() const { return preset_; }
    QLineEdit* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }
    QLabel* preview_label() const { return preview_; }
    void restore_default();

    void accept() override;

private:
    void show_state(const ViewingDialogState& state);
    void update_preview();

    FrameStore& store_;
    QComboBox* mode_ = nullptr;
    QComboBox* preset_ = nullptr;
    std::vector<QLineEdit*> fields_;
    QLabel* preview_ = nullptr;
};

// Runs the dialog modally; 1 OK (the store's viewing replaced and remembered), 2 キャンセル.
int run_viewing_dialog_qt(QWidget* owner, FrameStore& store);

// The remembered setting into the store at start-up, and out of it after OK (QSettings,
// organisation "ORV", application "orv", key "viewing").
void load_viewing_setting(FrameStore& store);
void save_viewing_setting(const FrameStore& store);

}  // namespace orv
