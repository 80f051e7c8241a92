#include "shell/qt/dialog_builder.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace orv {

int mul_div(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = std::llabs(static_cast<long long>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude =
        (std::llabs(product) + half) / std::llabs(static_cast<long long>(c));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

DialogBaseUnits base_units_from_metrics(int alphabet_width, int character_height) {
    // Average of the 52 letters, rounded to the nearest pixel.
    return DialogBaseUnits{(alphabet_width / 26 + 1) / 2, character_height};
}

DialogBaseUnits dialog_base_units(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    return base_units_from_metrics(width, metrics.height());
}

int unit_for_width(int unit, int pixels, int dialog_units) {
    if (dialog_units <= 0) return unit;
    int u = std::max(unit, 1);
    while (mul_div(dialog_units, u, 4) < pixels) ++u;
    return u;
}

DialogBaseUnits template_base_units(const QFont& font, const DialogTemplate& dialog) {
    DialogBaseUnits units = dialog_base_units(font);
    const QFontMetrics metrics(font);
    // The check box's mark and the gap after it; a button's frame and margins.
    const int check_mark = QApplication::style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                           QApplication::style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 2;
    const int button_margins = 12;
    for (const DialogControl& control : dialog.controls) {
        if (control.kind == ControlKind::edit || control.text.empty()) continue;
        int needed = metrics.horizontalAdvance(QString::fromStdString(control.text)) + 1;
        if (control.kind == ControlKind::check_box) needed += check_mark;
        if (control.kind == ControlKind::button || control.kind == ControlKind::default_button) {
            needed += button_margins;
        }
        units.x = unit_for_width(units.x, needed, control.width);
    }
    return units;
}

QRect dialog_units_to_pixels(const DialogBaseUnits& units, int x, int y, int width, int height) {
    return QRect(mul_div(x, units.x, 4), mul_div(y, units.y, 8), mul_div(width, units.x, 4),
                 mul_div(height, units.y, 8));
}

QFont dialog_font(const DialogTemplate& dialog) {
    QFont font = QApplication::font();
    if (dialog.font_name != "MS Shell Dlg") {
        const QString family = QString::fromStdString(dialog.font_name);
        if (QFontDatabase::families().contains(family)) font.setFamily(family);
    }
    font.setPointSize(dialog.font_points);
    return font;
}

QString dialog_item_name(int id) { return QStringLiteral("item_%1").arg(id); }

namespace {

QFont edit_font(const QFont& dialog) {
    QFont font = dialog;
    if (font.pointSizeF() < 9.0) font.setPointSizeF(9.0);
    QStringList families;
    const QStringList installed = QFontDatabase::families();
    for (const char* latin : {"DejaVu Sans", "Liberation Sans", "Noto Sans"}) {
        if (installed.contains(QLatin1String(latin))) families << QLatin1String(latin);
    }
    families << dialog.families();
    font.setFamilies(families);
    return font;
}

QWidget* make_control(const DialogControl& control, QWidget* parent) {
    const QString text = QString::fromStdString(control.text);
    switch (control.kind) {
        case ControlKind::label:
        case ControlKind::centred_label: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(
                (control.kind == ControlKind::centred_label ? Qt::AlignHCenter : Qt::AlignLeft) |
                Qt::AlignTop);
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case ControlKind::edit: {
            // Bordered, one line scrolling horizontally, a tab stop. Numbers and paths in a
            // Latin face where one is installed, at least 9 points: at small sizes the
            // Japanese fonts draw a decimal point that reads as a comma. Their glyphs stay
            // for the other characters.
            auto* edit = new QLineEdit(text, parent);
            edit->setFont(edit_font(parent->font()));
            edit->setFrame(true);
            edit->setFocusPolicy(Qt::StrongFocus);
            edit->installEventFilter(parent);
            return edit;
        }
        case ControlKind::button:
        case ControlKind::default_button: {
            auto* button = new QPushButton(text, parent);
            button->setFocusPolicy(Qt::StrongFocus);
            button->setDefault(control.kind == ControlKind::default_button);
            return button;
        }
        case ControlKind::check_box: {
            auto* box = new QCheckBox(text, parent);
            box->setFocusPolicy(Qt::StrongFocus);
            return box;
        }
    }
    return nullptr;
}

}  // namespace

TemplateDialog::TemplateDialog(const DialogTemplate& dialog, DialogHandlers handlers,
                               QWidget* owner)
    : QDialog(owner), template_(dialog), handlers_(std::move(handlers)) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromStdString(template_.caption));
    setObjectName(QString::fromStdString(template_.name));
    setModal(true);
    const QFont font = dialog_font(template_);
    setFont(font);
    const DialogBaseUnits units = template_base_units(font, template_);
    setFixedSize(dialog_units_to_pixels(units, 0, 0, template_.width, template_.height).size());

    for (const DialogControl& control : template_.controls) {
        QWidget* widget = make_control(control, this);
        if (widget == nullptr) continue;
        widget->setGeometry(
            dialog_units_to_pixels(units, control.x, control.y, control.width, control.height));
        if (control.id != no_item_id) {
            widget->setObjectName(dialog_item_name(control.id));
            widgets_[control.id] = widget;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int id = control.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { send_command(id); });
        }
    }

    items_.set_text = [this](int id, const std::string& text) {
        QWidget* widget = item(id);
        const QString value = QString::fromStdString(text);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(value);
            // The start of a long path stays in view, as the window system's edits show it.
            edit->setCursorPosition(0);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(value);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(value);
        }
    };
    items_.get_text = [this](int id) -> std::string {
        QWidget* widget = item(id);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return button->text().toStdString();
        if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
        return std::string();
    };
    items_.end_dialog = [this](int result) { done(result); };
}

void TemplateDialog::start() {
    if (started_) return;
    started_ = true;
    if (handlers_.open) handlers_.open(items_);
    // The opening step has just set the edits' texts: the edit holding the focus selects
    // its text again.
    if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) edit->selectAll();
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (edit != nullptr && reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason) {
            edit->selectAll();
        }
    }
    return QDialog::eventFilter(watched, event);
}

QWidget* TemplateDialog::item(int id) const {
    const auto found = widgets_.find(id);
    return found == widgets_.end() ? nullptr : found->second;
}

void TemplateDialog::send_command(int id) {
    if (handlers_.command) {
        handlers_.command(items_, id);
    } else if (id == item::ok || id == item::cancel) {
        done(id);
    }
}

// Escape and the close box ask the logic, as the Cancel button does.
void TemplateDialog::reject() { send_command(item::cancel); }

}  // namespace orv
