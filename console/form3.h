#pragma once

#include <QByteArray>
#include <QPointer>
#include <QWidget>

class Engine;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The command list console: picks a catalogued command or takes a typed one and sends it through
// the main window's engine. One at a time; it deletes itself when closed.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidthTwips = 10005;
    static constexpr int LoadedHeightTwips = 2500;

    // Sends through `engine`; hides nothing itself: `statusFrame` is shown again when it closes,
    // and `mainWindow` brought forward unless the main window is going away.
    Form3(Engine *engine, QWidget *mainWindow, QWidget *statusFrame);
    ~Form3() override;

    // The console that is open, or nullptr; one that is closing no longer counts.
    static Form3 *openInstance();

    // Outer height in twips, title bar included.
    int Height() const { return m_heightTwips; }
    void setHeight(int twips);

    // What SEND transmits: the command line before its first "[", and CR.
    QByteArray ConsoleCommand;

    QComboBox *const &Combo1;
    QComboBox *const &Combo2;
    QComboBox *const &Combo3;
    QPushButton *const &Command1;
    QPushButton *const &Command2;
    QPushButton *const &Command3;
    QPushButton *const &Command4;
    QPushButton *const &Command5;
    QLineEdit *const &Text1;
    QLabel *const &Label1;
    QLabel *const &Label2;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void placeNear(const QWidget *main);
    void applyHeight();

    void derive(const QString &source, bool fromCommandLine);
    void selectRow(QComboBox *list, int row);
    void pick(QComboBox *list);
    void showList(QComboBox *list);

    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Command1_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Text1_Change();

public:
    // The main window is going away: close without bringing it forward.
    void mainUnloading();

private:
    Engine *m_engine;
    QPointer<QWidget> m_main;
    QPointer<QWidget> m_statusFrame;
    QComboBox *m_combo1 = nullptr;
    QComboBox *m_combo2 = nullptr;
    QComboBox *m_combo3 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QPushButton *m_command5 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    int m_heightTwips = LoadedHeightTwips;
    bool m_mainUnloading = false;
};
