#pragma once
// What ORV remembers from one start to the next (QSettings, organisation "ORV", application
// "orv"): the last folder and file type of each file dialog, the main window's geometry and
// the 表示 options. Nothing is read or written until the program enables it, so a window
// made without it (the tests' windows) starts as the program always started.

#include <memory>

#include <QSettings>
#include <QString>

namespace orv {

inline constexpr const char* settings_organisation = "ORV";
inline constexpr const char* settings_application = "orv";

// Enables the remembered settings, kept in `folder`/orv.ini when a folder is given (tests),
// otherwise in the user's configuration folder.
void enable_remembered_settings(const QString& folder = QString());
void disable_remembered_settings();
bool remembered_settings_enabled();

// The settings store; null while not enabled.
std::unique_ptr<QSettings> remembered_settings();

// The key of a file dialog's remembered folder and file type, from its title.
QString dialog_folder_key(const QString& title);
QString dialog_filter_key(const QString& title);

}  // namespace orv
