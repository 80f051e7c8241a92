#include "shell/qt/run_dialog_qt.h"

#include "resources/dialog_templates.h"
#include "shell/dialog_logic.h"
#include "shell/qt/dialog_builder.h"
#include "shell/qt/viewing_dialog_qt.h"

namespace orv {

int run_dialog_qt(QWidget* owner, const std::string& name, FrameStore& store, Platform& platform) {
    if (name == viewing_dialog_name) return run_viewing_dialog_qt(owner, store);
    const DialogTemplate* found = find_dialog_template(name);
    if (found == nullptr) return -1;
    TemplateDialog dialog(*found, make_dialog_handlers(name, store, platform), owner);
    // Shown first, so that a message of the opening step (a folder without kernel files) is
    // owned by the dialog, as the window system does it.
    dialog.show();
    dialog.start();
    if (dialog.isHidden()) return dialog.result();
    return dialog.exec();
}

}  // namespace orv
