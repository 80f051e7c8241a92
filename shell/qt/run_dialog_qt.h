#pragma once
// Runs one of the four template dialogs modally over the Qt window layer: the dialog built
// from its template, driven by its logic. This is what Platform::run_dialog does in the GUI.

#include <string>

#include "shell/frame_store.h"
#include "shell/platform.h"

class QWidget;

namespace orv {

// The dialog's result (1 OK, 2 Cancel), or -1 when no template has that name.
int run_dialog_qt(QWidget* owner, const std::string& name, FrameStore& store, Platform& platform);

}  // namespace orv
