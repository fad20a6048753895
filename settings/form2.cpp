#include "form2.h"

#include "engine/engine.h"
#include "link/portchoice.h"
#include "link/portinfo.h"
#include "panel/look.h"
#include "settings/store.h"

#include <QDir>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace {

const char *const Title = "  COM PORT";
const QString NoPortText = QStringLiteral("0");
constexpr qreal FontPoints = 9;

struct BoxRow
{
    const char *name;
    const char *caption;
    int left, top, width, height;
};

const BoxRow Boxes[] = {
    {"Frame1", "Baud Rate", 360, 240, 2415, 615},
    {"Frame2", "Com Port", 360, 1200, 1455, 2535},
};

enum class Sets { SpeedCode, PortNumber };

// In tab order; a click sets `sets` to `value`.
struct OptionRow
{
    const char *name;
    const char *box;
    const char *caption;
    Sets sets;
    int value;
    int left, top, width, height;
};

// clang-format off
const OptionRow Options[] = {
    {"Option1", "Frame1", "9600",  Sets::SpeedCode,  PortChoice::Baud9600Code,  120,  180, 1095, 255},
    {"Option2", "Frame1", "19200", Sets::SpeedCode,  PortChoice::Baud19200Code, 1320, 240,  975, 255},
    {"Option3", "Frame2", "COM1",  Sets::PortNumber, 1,                   180,  180, 1095, 255},
    {"Option4", "Frame2", "COM2",  Sets::PortNumber, 2,                   180,  540, 1095, 255},
    {"Option5", "Frame2", "COM3",  Sets::PortNumber, 3,                   180,  900, 1095, 255},
    {"Option6", "Frame2", "COM4",  Sets::PortNumber, 4,                   180, 1260, 1095, 255},
    {"Option7", "Frame2", "COM5",  Sets::PortNumber, 5,                   180, 1620, 1095, 255},
};
// clang-format on

constexpr int HighestOptionPort = 5; // COM1..COM5 have options; OTHER names the rest
constexpr QRect Text1Twips(180, 2040, 375, 270); // in Frame2
constexpr QRect Label1Twips(600, 2100, 735, 255); // in Frame2
constexpr QRect Command1Twips(2040, 1320, 735, 615);
constexpr QRect Command2Twips(2040, 2160, 735, 615);

// A box whose caption sits on its top edge, the edge running through the middle of the
// caption's text, so that children placed from the box's top-left corner lie below the edge.
// Fusion's own group box draws the edge below the caption, across the first row of options.
// The edge is drawn as the main window's boxes are.
class CaptionedBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        QRect caption
            = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
        caption.moveLeft(CaptionLeftPx);
        QStyleOptionFrame frame;
        frame.QStyleOption::operator=(option);
        frame.rect = rect().adjusted(0, caption.center().y(), 0, 0);
        frame.frameShape = QFrame::Box;
        frame.state |= QStyle::State_Sunken;
        frame.lineWidth = 1;
        frame.midLineWidth = 0;
        painter.save();
        painter.setClipRegion(QRegion(rect()).subtracted(caption));
        painter.drawControl(QStyle::CE_ShapedFrame, frame);
        painter.restore();
        painter.drawItemText(caption, Qt::AlignCenter, palette(), isEnabled(), title(),
                             QPalette::WindowText);
    }

private:
    static constexpr int CaptionLeftPx = 8;
};

QRect pixels(const QRect &twips)
{
    return Look::twips(twips.left(), twips.top(), twips.width(), twips.height());
}

// The port number a text names, or -1 when it is not a plain run of digits.
int wholeNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 4)
        return -1;
    for (const QChar c : text) {
        // No sign, no blanks, no digits of other scripts.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    return text.toInt();
}

QPushButton *makeButton(const char *name, const char *caption, const QRect &twips, QWidget *parent)
{
    auto *button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(pixels(twips));
    // Neither button is the default: Enter in the text box must not open a port.
    button->setAutoDefault(false);
    return button;
}

} // namespace

Form2::Form2(Engine *engine, const PortChoice &inUse, QWidget *mainWindow)
    : QDialog(mainWindow,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , m_engine(engine)
    , m_mainWindow(mainWindow)
    , m_pending(inUse)
    , m_saved(inUse)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromLatin1(Title));
    setFont(Look::uiFont(FontPoints));
    setFixedSize(Look::px(ClientWidthTwips), Look::px(ClientHeightTwips));

    QHash<QString, QGroupBox *> boxes;
    for (const BoxRow &row : Boxes) {
        auto *box = new CaptionedBox(QString::fromLatin1(row.caption), this);
        box->setObjectName(QString::fromLatin1(row.name));
        box->setGeometry(Look::twips(row.left, row.top, row.width, row.height));
        boxes.insert(box->objectName(), box);
    }
    QGroupBox *frame2 = boxes.value(QStringLiteral("Frame2"));

    m_text1 = new QLineEdit(NoPortText, frame2);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(pixels(Text1Twips));
    auto *label1 = new QLabel(QStringLiteral("OTHER"), frame2);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setTextFormat(Qt::PlainText);
    label1->setGeometry(pixels(Label1Twips));

    QWidget *previous = m_text1;
    for (const OptionRow &row : Options) {
        auto *option = new QRadioButton(QString::fromLatin1(row.caption),
                                        boxes.value(QString::fromLatin1(row.box)));
        option->setObjectName(QString::fromLatin1(row.name));
        option->setGeometry(Look::twips(row.left, row.top, row.width, row.height));
        const Sets sets = row.sets;
        const int value = row.value;
        if (sets == Sets::PortNumber)
            option->setToolTip(PortInfo::describe(value));
        connect(option, &QRadioButton::clicked, this, [this, sets, value] {
            if (sets == Sets::SpeedCode)
                m_pending.setSpeedCode(value);
            else
                m_pending.setPortNumber(value);
        });
        setTabOrder(previous, option);
        previous = option;
    }

    // What the ports OTHER can name stand for, one line each.
    QStringList others;
    for (int number = HighestOptionPort + 1; number <= PortChoice::HighestPortNumber; ++number)
        others << QStringLiteral("COM%1: %2").arg(number).arg(PortInfo::describe(number));
    m_text1->setToolTip(others.join(QLatin1Char('\n')));
    label1->setToolTip(m_text1->toolTip());

    QPushButton *command1 = makeButton("Command1", "OK", Command1Twips, this);
    QPushButton *command2 = makeButton("Command2", "Cancel", Command2Twips, this);
    setTabOrder(previous, command1);
    setTabOrder(command1, command2);
    connect(command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(m_text1, &QLineEdit::textChanged, this, &Form2::Text1_Change);

    Form_Load();
}

QRadioButton *Form2::option(const char *name) const
{
    return findChild<QRadioButton *>(QString::fromLatin1(name));
}

void Form2::Form_Load()
{
    for (const OptionRow &row : Options) {
        if (row.sets == Sets::PortNumber && row.value == m_pending.portNumber())
            option(row.name)->setChecked(true);
    }
    checkSpeedOption();
    m_text1->setFocus();
    // A typed digit replaces the "0".
    m_text1->setSelection(0, 1);
}

void Form2::checkSpeedOption()
{
    for (const OptionRow &row : Options) {
        if (row.sets == Sets::SpeedCode && row.value == m_pending.speedCode())
            option(row.name)->setChecked(true);
    }
}

void Form2::Text1_Change(const QString &text)
{
    const int number = wholeNumber(text);
    if (PortChoice::isUsablePort(number)) {
        m_pending.setPortNumber(number);
        return;
    }
    // Anything else (empty, letters, a sign, 0, too large) must not become the port.
    if (text != NoPortText)
        m_text1->setText(NoPortText);
    // As at load: the next digit typed replaces the "0".
    m_text1->selectAll();
}

void Form2::Command1_Click()
{
    // A number edited into the stored settings reaches here unchanged; it is no port either.
    if (!m_pending.isUsable() || !m_engine->open(m_pending)) {
        retryComport();
        return;
    }
    m_text1->setText(NoPortText);
    const bool stored = Store::saveChoice(m_pending);
    QWidget *mainWindow = m_mainWindow;
    unloadAndShowMainWindow();
    if (!stored) {
        // The port is open and in use; only the next start would not know it.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"),
                        QStringLiteral("The port is open, but the choice could not be stored "
                                       "for the next start in %1.")
                            .arg(QDir::toNativeSeparators(Store::location())),
                        QMessageBox::Ok, mainWindow);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

void Form2::Command2_Click()
{
    // The speed goes back only with a usable port.
    m_pending.setPortNumber(m_saved.portNumber());
    if (m_pending.isUsable()) {
        m_pending.setSpeedCode(m_saved.speedCode());
        checkSpeedOption();
        if (!m_engine->open(m_pending)) {
            retryComport();
            return;
        }
        unloadAndShowMainWindow();
        return;
    }
    if (m_engine->isOpen()) {
        m_engine->close();
        close();
    }
    retryComport();
}

void Form2::retryComport()
{
    // Over the dialog, or over the main window when the dialog has just gone.
    QWidget *parent = isVisible() ? this : m_mainWindow;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), QStringLiteral("Retry Comport"),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void Form2::unloadAndShowMainWindow()
{
    QWidget *mainWindow = m_mainWindow;
    close();
    if (!mainWindow)
        return;
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}
