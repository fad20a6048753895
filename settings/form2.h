#pragma once

#include <QDialog>

class Engine;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The port dialog: chooses the port (1 to 15) and the speed of the main window's serial port,
// opens the port with them and, once it has opened, stores them for the next start. It works on
// the engine's port and shared values, never on a port of its own.
class Form2 : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidthTwips = 3105;
    static constexpr int ClientHeightTwips = 4005;

    // `mainWindow` is shown again when the dialog leaves with the port open; it may be null.
    explicit Form2(Engine *engine, QWidget *mainWindow = nullptr);

protected:
    // The title bar's close box and Escape: the choice was never confirmed, so the port and speed
    // in use when the dialog opened are put back.
    void reject() override;

private:
    void Form_Load();
    void Text1_Change(const QString &text);
    void Command1_Click();
    void Command2_Click();

    // Settings string and option from BaudCode; any code but 96 becomes 192.
    void applyBaudCode();
    void retryComport();
    void unloadAndShowMainWindow();
    void unload();
    QRadioButton *option(const char *name) const;

    Engine *m_engine;
    QWidget *m_mainWindow;
    QLineEdit *m_text1 = nullptr;
    bool m_unloading = false;
};
