#pragma once

#include <QByteArray>
#include <QVector>

// Every button of the main window: where it sits, what it shows and what it sends.
namespace ButtonMap {

enum class Kind {
    Click, // sends its command once per click
    Hold, // sends on press and every 100 ms until released
    End, // ends the program
    Com, // opens the port dialog
    CommandTable, // opens the command list console
};

enum class Arrow { None, Up, Down, Left, Right };

enum class Face {
    Teal, // every other captioned button
    OnGreen, // "ON", "Enable"
    OffRed, // "OFF", "Disable"
    Enter, // "ENTER"
    StatusRead,
    End,
    ArrowYellow,
    Plain, // an ordinary push button, no face colour of its own
};

struct Button
{
    int number; // CommandN
    const char *box; // the box holding it, or nullptr for the window itself
    const char *caption;
    Arrow arrow;
    Face face;
    qreal pointSize;
    const char *command; // sent with a CR appended; nullptr for buttons that do not send
    Kind kind;
    int repeatIndex; // 1..22 for hold buttons
    int left, top, width, height; // twips, relative to the box or the window
};

// In focus order, POWER "ON" first.
const QVector<Button> &buttons();
const Button *find(int number);
// The command each repeat index resends, index 1 first (taken from the hold buttons above).
QVector<QByteArray> repeatTable();

} // namespace ButtonMap
