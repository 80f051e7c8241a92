#pragma once
// Answers the next modal message box from a timer, as a user would, and keeps what it showed.

#include <QMessageBox>
#include <QString>
#include <QStringList>

namespace orv::test {

struct SeenMessageBox {
    bool seen = false;
    QString text;
    QString caption;
    QStringList buttons;  // button texts, in the box's order
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool topmost = false;
    int width = 0;         // as shown
    int screen_width = 0;  // the available width of its screen
};

// Starts polling for a QMessageBox to become the active modal widget; clicks `answer` on it
// and fills `seen`. `seen` must outlive the box.
void answer_next_message_box(QMessageBox::StandardButton answer, SeenMessageBox& seen);

}  // namespace orv::test
