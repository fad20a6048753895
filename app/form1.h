#pragma once

#include "link/portchoice.h"
#include "panel/layout.h"

#include <QWidget>

class Engine;
class QFrame;
class QLabel;
class QPushButton;

// The main window: the panel, its output lines, start-up and shut-down.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int CompactHeightTwips = 5780;
    static constexpr int ExpandedHeightTwips = 8100;
    static constexpr int ClientWidthTwips = 10380;
    static constexpr int ClientHeightTwips = 8535;
    // The TxD and RxD lines show this much of their echo; the engine keeps all of it.
    static constexpr int ShownEchoChars = 512;

    explicit Form1(Engine *engine, QWidget *parent = nullptr);

    Engine *engine() const { return m_engine; }
    // The port and speed last opened, or stored when none has opened since the start.
    PortChoice portChoice() const { return m_portChoice; }

    // Start-up. Returns false when the port did not open and the port dialog must take over.
    bool Form_Load();

    // Outer height in twips, title bar included.
    int Height() const { return m_heightTwips; }
    void setHeight(int twips);

    QLabel *label(const QString &name) const { return m_widgets.labels.value(name); }
    QFrame *box(const QString &name) const { return m_widgets.boxes.value(name); }
    // CommandN by its number.
    QPushButton *button(int number) const { return m_widgets.buttons.value(number); }

    // The one keyboard shortcut: Ctrl+H switches between compact and expanded height.
    void Form_KeyDown(int keyCode, int shift);

    QLabel *const &Label11;
    QLabel *const &Label12;
    QLabel *const &Label25;
    QFrame *const &Frame15;

signals:
    // Emitted once the main window is about to go away (title-bar close or END).
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_QueryUnload();
    void placeOnScreen();
    void applyHeight();
    void refreshDisplay();
    void connectButtons();

    Engine *m_engine;
    Panel::Widgets m_widgets;
    QLabel *m_label11 = nullptr;
    QLabel *m_label12 = nullptr;
    QLabel *m_label25 = nullptr;
    QFrame *m_frame15 = nullptr;
    QLabel *m_label27 = nullptr;
    QLabel *m_label28 = nullptr;
    QLabel *m_label29 = nullptr;
    int m_heightTwips = CompactHeightTwips;
    PortChoice m_portChoice;
};
