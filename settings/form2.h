#pragma once

#include "link/portchoice.h"

#include <QDialog>

class Engine;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The port dialog: chooses the port (1 to 15) and the speed of the main window's serial port,
// opens the engine's port with them and, once it has opened, stores them for the next start.
// The choice it starts from, the one in use, is what Cancel goes back to; closing it any other
// way leaves the port and the choice in use as they are.
class Form2 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidthTwips = 3105;
    static constexpr int ClientHeightTwips = 4005;

    // `mainWindow` is shown again when the dialog leaves with the port open; it may be null.
    Form2(Engine *engine, const PortChoice &inUse, QWidget *mainWindow = nullptr);

    // The choice as it stands in the dialog, not yet confirmed.
    PortChoice choice() const { return m_pending; }

private:
    void Form_Load();
    void Text1_Change(const QString &text);
    void Command1_Click();
    void Command2_Click();

    void checkSpeedOption();
    void retryComport();
    void unloadAndShowMainWindow();
    QRadioButton *option(const char *name) const;

    Engine *m_engine;
    QWidget *m_mainWindow;
    PortChoice m_pending;
    PortChoice m_saved;
    QLineEdit *m_text1 = nullptr;
};
