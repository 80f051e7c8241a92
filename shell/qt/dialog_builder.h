#pragma once
// Builds a Qt dialog from a dialog template (resources/dialog_templates.h) and routes its
// button clicks, OK, Cancel, Escape and the close box to the dialog logic through
// DialogItems, as a template dialog of the original window system behaves.
//
// Dialog units become pixels from the dialog font: one horizontal unit is a quarter of the
// font's average character width, one vertical unit an eighth of its character height, each
// product rounded as the window system's MulDiv rounds. "MS Shell Dlg" 8 is the platform's
// default interface font at 8 points.

#include <map>

#include <QDialog>
#include <QFont>
#include <QRect>

#include "resources/dialog_templates.h"
#include "shell/dialog_logic.h"
#include "shell/platform.h"

class QWidget;

namespace orv {

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// a * b / c rounded to the nearest integer, halves away from zero (c != 0).
int mul_div(int a, int b, int c);

// Base units from the width of "a".."z" "A".."Z" in one run (average width rounded as the
// window system rounds it) and the character height.
DialogBaseUnits base_units_from_metrics(int alphabet_width, int character_height);
DialogBaseUnits dialog_base_units(const QFont& font);

// The smallest horizontal base unit, at least `unit`, at which `dialog_units` units are at
// least `pixels` pixels wide.
int unit_for_width(int unit, int pixels, int dialog_units);

// The base units a template's dialog is built with in `font`: those of the font, widened
// until every label, check box and button shows its whole text in its place. Fonts whose
// letters are narrow beside their other characters (Japanese fonts with half-width Latin
// letters) would otherwise cut the texts the template's sizes were made for.
DialogBaseUnits template_base_units(const QFont& font, const DialogTemplate& dialog);

// Position and size in dialog units to pixels.
QRect dialog_units_to_pixels(const DialogBaseUnits& units, int x, int y, int width, int height);

// The font a template names; "MS Shell Dlg" (and any font this platform lacks) becomes the
// default interface font at the template's point size.
QFont dialog_font(const DialogTemplate& dialog);

// A dialog built from a template. Its items are found by id; every click and every close
// request goes to the handlers, which decide whether the dialog ends.
class TemplateDialog : public QDialog {
public:
    TemplateDialog(const DialogTemplate& dialog, DialogHandlers handlers, QWidget* owner);

    // Runs the logic's opening step (once, before the dialog is shown).
    void start();
    // The widget of item `id`, or nullptr.
    QWidget* item(int id) const;
    DialogItems& items() { return items_; }
    const DialogTemplate& dialog_template() const { return template_; }
    // Sends a command to the logic as a click on item `id` would.
    void send_command(int id);

    void reject() override;

protected:
    // An edit that gets the focus from the dialog (on opening, by Tab, when the dialog becomes
    // active again) selects its whole text, so typing replaces it; a click keeps the caret
    // where it lands.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DialogTemplate template_;
    DialogHandlers handlers_;
    DialogItems items_;
    std::map<int, QWidget*> widgets_;
    bool started_ = false;
};

// The object name of item `id` ("item_1001"), for tests and style sheets.
QString dialog_item_name(int id);

}  // namespace orv
