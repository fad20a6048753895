#include "form3.h"

#include "console/catalogue.h"
#include "console/consolecommand.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "panel/look.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

const char *const Title = "Command List";
const QLatin1String CrNotation("[CR]");
constexpr qreal CaptionPointSize = 9.75;

enum class Kind { List, EditableList, Button, CommandLine, Hint };

struct ControlRow
{
    const char *name;
    Kind kind;
    const char *caption; // buttons and hints
    const QStringList &(*rows)(); // lists
    int left, top, width, height;
};

// In tab order. The three lists share one place; only one of them is shown at a time.
const ControlRow Controls[] = {
    {"Combo1", Kind::List, nullptr, &Catalogue::basic, 120, 1560, 5055, 300},
    {"Command1", Kind::Button, "SEND", nullptr, 9000, 680, 855, 375},
    {"Command2", Kind::Button, "CLOSE", nullptr, 9000, 1320, 855, 375},
    {"Command3", Kind::Button, "Basic Command List", nullptr, 120, 120, 2415, 375},
    {"Text1", Kind::CommandLine, nullptr, nullptr, 120, 720, 8655, 300},
    {"Command4", Kind::Button, "Expand Command List", nullptr, 2760, 120, 2655, 375},
    {"Command5", Kind::Button, "Expand Read Command List", nullptr, 5760, 120, 3015, 375},
    {"Label1", Kind::Hint, "% :Parameter (0-9).", nullptr, 4560, 1200, 2895, 300},
    {"Combo2", Kind::EditableList, nullptr, &Catalogue::expand, 120, 1560, 8655, 300},
    {"Combo3", Kind::EditableList, nullptr, &Catalogue::expandRead, 120, 1560, 8655, 300},
    {"Label2", Kind::Hint, "[CR] :Carriage Return Code (0x0D)", nullptr, 240, 1200, 3975, 300},
};

QWidget *makeControl(const ControlRow &control, QWidget *parent)
{
    QWidget *widget = nullptr;
    switch (control.kind) {
    case Kind::List:
    case Kind::EditableList: {
        auto *list = new QComboBox(parent);
        if (control.kind == Kind::EditableList) {
            list->setEditable(true);
            // The edit field is scratch space: Enter must not add a row to the catalogue.
            list->setInsertPolicy(QComboBox::NoInsert);
            // Typing never picks a command: no completion into a row, and Enter or the focus
            // leaving does not select a row whose text was typed.
            list->setCompleter(nullptr);
            QObject::disconnect(list->lineEdit(), SIGNAL(editingFinished()), list, nullptr);
        }
        list->addItems(control.rows());
        widget = list;
        break;
    }
    case Kind::Button:
        widget = new QPushButton(QString::fromLatin1(control.caption), parent);
        widget->setFont(Look::uiFont(CaptionPointSize));
        break;
    case Kind::CommandLine:
        widget = new QLineEdit(parent);
        break;
    case Kind::Hint: {
        auto *label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setText(QString::fromLatin1(control.caption));
        label->setFont(Look::uiFont(CaptionPointSize));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(palette);
        widget = label;
        break;
    }
    }
    widget->setObjectName(QLatin1String(control.name));
    widget->setGeometry(Look::twips(control.left, control.top, control.width, control.height));
    return widget;
}

Form3 *openConsole = nullptr;

} // namespace

Form3::Form3(Engine *engine, QWidget *main, QWidget *statusFrame)
    : QWidget(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , Combo1(m_combo1)
    , Combo2(m_combo2)
    , Combo3(m_combo3)
    , Command1(m_command1)
    , Command2(m_command2)
    , Command3(m_command3)
    , Command4(m_command4)
    , Command5(m_command5)
    , Text1(m_text1)
    , Label1(m_label1)
    , Label2(m_label2)
    , m_engine(engine)
    , m_main(main)
    , m_statusFrame(statusFrame)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QString::fromLatin1(Title));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();

    connect(m_combo1, &QComboBox::currentIndexChanged, this, &Form3::Combo1_Click);
    connect(m_combo2, &QComboBox::currentIndexChanged, this, &Form3::Combo2_Click);
    connect(m_combo3, &QComboBox::currentIndexChanged, this, &Form3::Combo3_Click);
    connect(m_command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form3::close);
    connect(m_command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &Form3::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &Form3::Command5_Click);
    connect(m_text1, &QLineEdit::textChanged, this, &Form3::Text1_Change);
    // Without its main window the console has nothing to send through.
    connect(main, &QObject::destroyed, this, [this] { delete this; });

    openConsole = this;
    Form_Load();
    placeNear(main);
}

Form3::~Form3()
{
    if (openConsole == this)
        openConsole = nullptr;
}

Form3 *Form3::openInstance()
{
    return openConsole;
}

void Form3::buildControls()
{
    QWidget *previous = nullptr;
    for (const ControlRow &control : Controls) {
        QWidget *widget = makeControl(control, this);
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous)
                setTabOrder(previous, widget);
            previous = widget;
        }
    }
    const auto child = [this](const char *name) {
        return findChild<QWidget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    };
    m_combo1 = static_cast<QComboBox *>(child("Combo1"));
    m_combo2 = static_cast<QComboBox *>(child("Combo2"));
    m_combo3 = static_cast<QComboBox *>(child("Combo3"));
    m_command1 = static_cast<QPushButton *>(child("Command1"));
    m_command2 = static_cast<QPushButton *>(child("Command2"));
    m_command3 = static_cast<QPushButton *>(child("Command3"));
    m_command4 = static_cast<QPushButton *>(child("Command4"));
    m_command5 = static_cast<QPushButton *>(child("Command5"));
    m_text1 = static_cast<QLineEdit *>(child("Text1"));
    m_label1 = static_cast<QLabel *>(child("Label1"));
    m_label2 = static_cast<QLabel *>(child("Label2"));
}

void Form3::Form_Load()
{
    setHeight(LoadedHeightTwips);
    showList(m_combo1);
    m_label1->hide();
    m_label2->hide();
    selectRow(m_combo1, 0);
    derive(m_combo1->itemText(0), false);
}

void Form3::setHeight(int twips)
{
    m_heightTwips = twips;
    applyHeight();
}

void Form3::applyHeight()
{
    // Counted with a classic title bar and borders, as the main window is, so the band of
    // controls shows whole on every platform.
    setFixedSize(Look::px(ClientWidthTwips), Look::clientHeightPx(m_heightTwips));
}

// Just below the main window, so that its TxD and RxD lines stay in sight. Where the screen
// has no room for that (a small screen, a large scale factor), the first spot that fits: beside
// the main window, above it, below it over only what lies under the STATUS row, below it over
// only what lies under the TxD and RxD lines, or over the buttons above those lines.
void Form3::placeNear(const QWidget *main)
{
    const QRect mainFrame = main->frameGeometry();
    const QSize size(width() + mainFrame.width() - main->width(), Look::px(m_heightTwips));
    const QScreen *screen = main->screen();
    if (!screen) {
        move(mainFrame.left(), mainFrame.bottom() + 1);
        return;
    }
    const QRect area = screen->availableGeometry();
    const auto onScreen = [](const QWidget *widget) {
        return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    };
    // The box of the TxD and RxD lines, named in the panel's layout.
    const QWidget *linesBox = main->findChild<QWidget *>(QStringLiteral("Frame9"));
    const QRect lines = linesBox ? onScreen(linesBox) : mainFrame;
    const QRect throughStatus(
        mainFrame.topLeft(),
        QPoint(mainFrame.right(),
               m_statusFrame ? onScreen(m_statusFrame).bottom() : mainFrame.bottom()));
    const int x
        = qBound(area.left(), mainFrame.left(), qMax(area.left(), area.right() + 1 - size.width()));
    const int y
        = qBound(area.top(), mainFrame.top(), qMax(area.top(), area.bottom() + 1 - size.height()));
    const int lowest = qMin(mainFrame.bottom() + 1, area.bottom() + 1 - size.height());
    struct Spot
    {
        QPoint topLeft;
        QRect keepClear;
    };
    const Spot spots[] = {
        {{x, mainFrame.bottom() + 1}, mainFrame},
        {{mainFrame.right() + 1, y}, mainFrame},
        {{mainFrame.left() - size.width(), y}, mainFrame},
        {{x, mainFrame.top() - size.height()}, mainFrame},
        {{x, lowest}, throughStatus},
        {{x, lowest}, lines},
        {{x, lines.top() - size.height()}, lines},
    };
    for (const Spot &spot : spots) {
        const QRect console(spot.topLeft, size);
        if (area.contains(console) && !console.intersects(spot.keepClear)) {
            move(spot.topLeft);
            return;
        }
    }
    move(x, qMax(area.top(), lowest));
}

void Form3::derive(const QString &source, bool fromCommandLine)
{
    const QString command = commandPart(source);
    ConsoleCommand = Wire::frame(command.toLatin1());
    if (!fromCommandLine)
        m_text1->setText(command + CrNotation);
}

// Selecting the row that is already selected still counts as a pick.
void Form3::selectRow(QComboBox *list, int row)
{
    if (list->currentIndex() == row)
        pick(list);
    else
        list->setCurrentIndex(row);
}

void Form3::pick(QComboBox *list)
{
    if (list == m_combo1)
        Combo1_Click();
    else if (list == m_combo2)
        Combo2_Click();
    else
        Combo3_Click();
}

void Form3::showList(QComboBox *list)
{
    for (QComboBox *each : {m_combo1, m_combo2, m_combo3})
        each->setVisible(each == list);
}

void Form3::Combo1_Click()
{
    const int row = m_combo1->currentIndex();
    if (row < 0)
        return;
    m_label2->show();
    derive(m_combo1->itemText(row), false);
}

void Form3::Combo2_Click()
{
    const int row = m_combo2->currentIndex();
    if (row < 0)
        return;
    // The whole row counts: a "%" in the description alone also asks for digits.
    const QString text = m_combo2->itemText(row);
    m_label2->show();
    if (text.contains(QLatin1Char('%'))) {
        m_label1->show();
        m_text1->setFocus(Qt::OtherFocusReason);
    } else {
        m_label1->hide();
    }
    derive(text, false);
}

void Form3::Combo3_Click()
{
    const int row = m_combo3->currentIndex();
    if (row < 0)
        return;
    m_label2->show();
    derive(m_combo3->itemText(row), false);
}

void Form3::Command1_Click()
{
    if (!m_main)
        return;
    m_engine->sendAsTyped(ConsoleCommand);
    m_label1->hide();
    m_label2->hide();
}

void Form3::Command3_Click()
{
    showList(m_combo1);
    selectRow(m_combo1, 0);
    derive(m_combo1->itemText(0), false);
}

void Form3::Command4_Click()
{
    showList(m_combo2);
    selectRow(m_combo2, 0);
    derive(m_combo2->itemText(0), false);
}

void Form3::Command5_Click()
{
    showList(m_combo3);
    selectRow(m_combo3, 0);
    derive(m_combo3->itemText(0), false);
}

void Form3::Text1_Change()
{
    derive(m_text1->text(), true);
}

void Form3::mainUnloading()
{
    m_mainUnloading = true;
    close();
}

// CLOSE and the title-bar close box alike: the main window gets its STATUS frame and its usual
// intervals back.
void Form3::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (openConsole != this)
        return; // already unloaded, only waiting to be deleted
    openConsole = nullptr;
    if (!m_main)
        return;
    if (!m_mainUnloading) {
        m_main->show();
        m_main->raise();
        m_main->activateWindow();
    }
    if (m_statusFrame)
        m_statusFrame->show();
    m_engine->setIntervals(Intervals::ReplyWindowMs, Intervals::DisplayClearMs);
}
