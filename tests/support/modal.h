#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Acts on a modal dialog of type T once it is up, from inside its exec(). When none comes up
// within `timeoutMs`, whatever dialog is showing is rejected so that exec() returns and the test
// fails at once instead of blocking until its timeout. Returns whether `act` ran.
template<class T>
bool whenModal(const std::function<void()> &runModal, const std::function<void(T *)> &act,
               int timeoutMs = 2000)
{
    bool acted = false;
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            dialog && dialog->isVisible()) {
            poll.stop();
            acted = true;
            act(dialog);
            return;
        }
        if (waited.elapsed() < timeoutMs)
            return;
        poll.stop();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
    });
    poll.start();
    runModal();
    return acted;
}
