// The ORV program: the frame store starts from the current directory (the first profile
// folder), the main window runs until a confirmed close, then the reference slots are freed.

#include <QApplication>
#include <QDir>

#include "image/spill_memory.h"
#include "shell/frame_store.h"
#include "shell/qt/main_window_qt.h"
#include "shell/qt/remembered.h"
#include "shell/qt/viewing_dialog_qt.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(orv::settings_organisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(orv::settings_application));
    // The file dialogs' folders and file types, the window and the view are remembered.
    orv::enable_remembered_settings();
    orv::install_japanese_translations();
    // Programs started from the profile folder (h264/SimpleEncoder.exe) look for ORV's other
    // programs here first: the folder this one runs from.
    qputenv("ORV_PROGRAM_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    // The frame store keeps its frames in temporary files on disk (not in /tmp, which may be
    // memory itself): resident memory stays bounded however long the sequences are.
    const QString temporary = qEnvironmentVariableIsSet("TMPDIR") ? qEnvironmentVariable("TMPDIR")
                                                                  : QStringLiteral("/var/tmp");
    orv::set_spill_folder(QDir(temporary).exists() ? temporary.toStdString()
                                                   : QDir::tempPath().toStdString());

    orv::FrameStore& store = orv::frame_store();
    orv::start_frame_store(store, QDir::toNativeSeparators(QDir::currentPath()).toStdString());
    orv::load_viewing_setting(store);

    int code = 0;
    {
        orv::MainWindowQt window(store);
        window.show();
        code = app.exec();
    }
    orv::shut_down_frame_store(store);
    return code;
}
