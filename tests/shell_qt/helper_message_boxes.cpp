#include "tests/shell_qt/helper_message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <QTimer>

namespace orv::test {

void answer_next_message_box(QMessageBox::StandardButton answer, SeenMessageBox& seen) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        seen.seen = true;
        seen.text = box->text();
        seen.caption = box->windowTitle();
        seen.icon = box->icon();
        seen.topmost = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.width = box->width();
        seen.screen_width = box->screen()->availableGeometry().width();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        if (QAbstractButton* b = box->button(answer)) b->click();
    });
    timer->start();
}

}  // namespace orv::test
