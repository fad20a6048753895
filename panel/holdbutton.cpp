#include "holdbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>

void HoldButton::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown();
    QPushButton::mousePressEvent(event); // the sunken look while held
}

void HoldButton::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseUp();
    QPushButton::mouseReleaseEvent(event);
}

void HoldButton::keyPressEvent(QKeyEvent *event)
{
    // Space would press the button: ignore it, but keep focus navigation (Tab, arrows).
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Select) {
        event->ignore();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void HoldButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) {
        event->ignore();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}
