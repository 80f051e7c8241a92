// orv-encoder: ORV's encoder window, started by the main window's 劣化処理 → H.264/AVC
// through the profile folder's h264/SimpleEncoder.exe.

#include <QApplication>

#include "encode/encoder.h"
#include "shell/qt/encoder/encoder_window.h"
#include "shell/qt/main_window_qt.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    orv::install_japanese_translations();
    orv::quiet_codec_libraries();
    orv::EncoderWindow window;
    window.show();
    return app.exec();
}
