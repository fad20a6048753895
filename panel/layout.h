#pragma once

#include <QHash>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// The main window's boxes, labels and buttons, built from tables.
namespace Panel {

struct Widgets
{
    QHash<QString, QFrame *> boxes; // by object name, "Frame15"
    QHash<QString, QLabel *> labels; // "Label12"
    QHash<int, QPushButton *> buttons; // by number: 44 is Command44
};

// Creates every box, label and button of the main window as children of `form`, in focus order.
Widgets build(QWidget *form);

// What a screen reader calls an arrow button: its box and direction, "VOLUME up".
QString arrowName(int buttonNumber);

} // namespace Panel
