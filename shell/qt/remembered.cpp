#include "shell/qt/remembered.h"

#include <QDir>

namespace orv {

namespace {

struct RememberedPlace {
    bool enabled = false;
    QString folder;
};

RememberedPlace& place() {
    static RememberedPlace p;
    return p;
}

}  // namespace

void enable_remembered_settings(const QString& folder) {
    place().enabled = true;
    place().folder = folder;
}

void disable_remembered_settings() { place() = RememberedPlace{}; }

bool remembered_settings_enabled() { return place().enabled; }

std::unique_ptr<QSettings> remembered_settings() {
    if (!place().enabled) return nullptr;
    if (!place().folder.isEmpty()) {
        return std::make_unique<QSettings>(QDir(place().folder).filePath(QStringLiteral("orv.ini")),
                                           QSettings::IniFormat);
    }
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QString::fromLatin1(settings_organisation),
                                       QString::fromLatin1(settings_application));
}

QString dialog_folder_key(const QString& title) {
    // Titles are Japanese: the key holds them percent-encoded, safe in any INI file.
    return QStringLiteral("dialogs/") + QString::fromLatin1(title.toUtf8().toPercentEncoding()) +
           QStringLiteral("/folder");
}

QString dialog_filter_key(const QString& title) {
    return QStringLiteral("dialogs/") + QString::fromLatin1(title.toUtf8().toPercentEncoding()) +
           QStringLiteral("/filter");
}

}  // namespace orv
