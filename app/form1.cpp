#include "form1.h"

#include "app/console.h"
#include "app/portdialog.h"
#include "app/startup.h"
#include "engine/engine.h"
#include "panel/buttonmap.h"
#include "panel/holdbutton.h"
#include "panel/look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace {

const char *const Title = "ORVA   RV-TOP710 TOP710RL  CONTROL  Ver.2.0";
constexpr int PlacementRiseTwips = 1350;
constexpr int HeightThresholdTwips = 7000;
constexpr int KeyCodeH = 72;
constexpr int ShiftMask = 1;
constexpr int CtrlMask = 2;
constexpr int AltMask = 4;

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? ShiftMask : 0)
        | (modifiers & Qt::ControlModifier ? CtrlMask : 0)
        | (modifiers & Qt::AltModifier ? AltMask : 0);
}

} // namespace

Form1::Form1(Engine *engine, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , Label11(m_label11)
    , Label12(m_label12)
    , Label25(m_label25)
    , Frame15(m_frame15)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(Title));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Look::WindowGrey);
    setPalette(palette);

    m_widgets = Panel::build(this);
    m_label11 = label(QStringLiteral("Label11"));
    m_label12 = label(QStringLiteral("Label12"));
    m_label25 = label(QStringLiteral("Label25"));
    m_label27 = label(QStringLiteral("Label27"));
    m_label28 = label(QStringLiteral("Label28"));
    m_label29 = label(QStringLiteral("Label29"));
    m_frame15 = box(QStringLiteral("Frame15"));

    applyHeight();
    m_engine->setRepeatTable(ButtonMap::repeatTable());
    connectButtons();
    connect(m_engine, &Engine::displayChanged, this, &Form1::refreshDisplay);
    // Only a choice that opened is remembered: the port dialog starts from it, and its Cancel
    // goes back to it.
    connect(m_engine, &Engine::portOpenChanged, this, [this](bool open) {
        if (open)
            m_portChoice = m_engine->choice();
    });
    // A network port may take a few seconds to open.
    connect(m_engine, &Engine::opening, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    // Key preview: the window sees every key before the focused control does.
    create();
    windowHandle()->installEventFilter(this);
}

void Form1::connectButtons()
{
    for (const ButtonMap::Button &row : ButtonMap::buttons()) {
        QPushButton *button = m_widgets.buttons.value(row.number);
        const QByteArray command = row.command;
        switch (row.kind) {
        case ButtonMap::Kind::Click:
            connect(button, &QPushButton::clicked, this,
                    [this, command] { m_engine->send(command); });
            break;
        case ButtonMap::Kind::Hold: {
            auto *hold = static_cast<HoldButton *>(button);
            const int index = row.repeatIndex;
            connect(hold, &HoldButton::mouseDown, this,
                    [this, index, command] { m_engine->press(index, command); });
            connect(hold, &HoldButton::mouseUp, m_engine, &Engine::release);
            break;
        }
        case ButtonMap::Kind::End:
            connect(button, &QPushButton::clicked, this, [this] {
                close();
                QCoreApplication::quit();
            });
            break;
        case ButtonMap::Kind::Com:
            connect(button, &QPushButton::clicked, this,
                    [this] { PortDialog::openFromComButton(this); });
            break;
        case ButtonMap::Kind::CommandTable:
            connect(button, &QPushButton::clicked, this,
                    [this] { Console::openFromCommandTable(this); });
            break;
        }
    }
}

void Form1::Form_KeyDown(int keyCode, int shift)
{
    // Ctrl alone: Shift and Alt held with it make another key.
    if ((shift & 7) != CtrlMask || keyCode != KeyCodeH)
        return;
    setHeight(Height() >= HeightThresholdTwips ? CompactHeightTwips : ExpandedHeightTwips);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Keys reach the window once, before it hands them to the focused control.
    if (watched == windowHandle() && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        Form_KeyDown(key->key(), shiftState(key->modifiers()));
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The release of a held button may never arrive once another window has the pointer.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_engine->endHold();
}

bool Form1::Form_Load()
{
    setHeight(CompactHeightTwips);
    m_portChoice = Startup::storedChoice();
    if (!Startup::openStoredPort(*m_engine, m_portChoice))
        return false;
    placeOnScreen();
    m_engine->reset();
    return true;
}

void Form1::setHeight(int twips)
{
    m_heightTwips = twips;
    applyHeight();
}

void Form1::applyHeight()
{
    // The height counts a classic title bar and borders, so every platform shows the same client
    // area: the compact height ends just below the operating buttons.
    setFixedSize(Look::px(ClientWidthTwips), Look::clientHeightPx(m_heightTwips));
}

void Form1::placeOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->virtualGeometry();
    const int outerWidthPx = Look::outerWidthPx(ClientWidthTwips);
    const int left = (desktop.width() - outerWidthPx) / 2;
    int top = (desktop.height() - Look::px(m_heightTwips)) / 2 - Look::px(PlacementRiseTwips);
    // On a low screen the formula puts the title bar out of reach; keep it on screen.
    top = qMax(top, screen->availableGeometry().top());
    move(desktop.left() + left, top);
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
}

void Form1::Form_QueryUnload()
{
    m_engine->close();
    emit unloading();
}

void Form1::refreshDisplay()
{
    const Engine::Display &display = m_engine->display();
    // A line shows about 140 characters; laying out a 65,000-character echo at every repaint
    // would stall a flooded window, so the labels get only the start of it.
    m_label11->setText(display.txd.left(ShownEchoChars));
    m_label12->setText(display.rxd.left(ShownEchoChars));
    m_label25->setText(display.status);
    m_label27->setVisible(display.spaceLegend);
    m_label28->setVisible(display.crLegend);
    m_label29->setVisible(display.ackLegend);
}
