#pragma once

#include <QHash>
#include <QString>

class QFrame;
class QLabel;
class QWidget;

// The main window's boxes and labels, built from tables.
namespace Panel {

struct Widgets
{
    QHash<QString, QFrame *> boxes; // by object name, "Frame15"
    QHash<QString, QLabel *> labels; // by object name, "Label12"
};

// Creates every box and label of the main window as children of `form`.
Widgets buildBoxesAndLabels(QWidget *form);

} // namespace Panel
