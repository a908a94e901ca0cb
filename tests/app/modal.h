// Answering modal dialogs in the window tests.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace quillon::app::testing {

// Runs `handle` on the next modal dialog once it is open (polling the event
// loop that the dialog's exec() runs).
inline void OnNextModal(std::function<void(QWidget*)> handle) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
        }
    });
    timer->start();
}

}  // namespace quillon::app::testing
