#include "form1.h"

#include "app/look.h"
#include "app/startup.h"
#include "link/engine.h"
#include "link/serialport.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

const char *const Title = "ORVA   RV-TOP710 TOP710RL  CONTROL  Ver.2.0";
constexpr int PlacementRiseTwips = 1350;
// Title bar and borders, where the platform draws none of its own (offscreen) or before the
// window is shown.
constexpr int NominalFrameExtraPx = 32;

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

    m_widgets = Panel::buildBoxesAndLabels(this);
    m_label11 = label(QStringLiteral("Label11"));
    m_label12 = label(QStringLiteral("Label12"));
    m_label25 = label(QStringLiteral("Label25"));
    m_label27 = label(QStringLiteral("Label27"));
    m_label28 = label(QStringLiteral("Label28"));
    m_label29 = label(QStringLiteral("Label29"));
    m_frame15 = box(QStringLiteral("Frame15"));

    applyHeight();
    connect(m_engine, &Engine::displayChanged, this, &Form1::refreshDisplay);
}

bool Form1::Form_Load()
{
    setHeight(CompactHeightTwips);
    if (!Startup::openStoredPort(*m_engine))
        return false;
    placeOnScreen();
    Startup::resetState(*m_engine);
    return true;
}

void Form1::setHeight(int twips)
{
    m_heightTwips = twips;
    applyHeight();
}

int Form1::frameExtraHeightPx() const
{
    const int measured = frameGeometry().height() - geometry().height();
    return (isVisible() && measured > 0) ? measured : NominalFrameExtraPx;
}

void Form1::applyHeight()
{
    const int clientHeight = Look::px(m_heightTwips) - frameExtraHeightPx();
    setFixedSize(Look::px(ClientWidthTwips), qMax(1, clientHeight));
}

void Form1::placeOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->virtualGeometry();
    const int outerWidthPx = Look::px(ClientWidthTwips);
    const int left = (desktop.width() - outerWidthPx) / 2;
    int top = (desktop.height() - Look::px(m_heightTwips)) / 2 - Look::px(PlacementRiseTwips);
    // On a low screen the formula puts the title bar out of reach; keep it on screen.
    top = qMax(top, screen->availableGeometry().top());
    move(desktop.left() + left, top);
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The real title bar is known only now.
    applyHeight();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
}

void Form1::Form_QueryUnload()
{
    m_engine->closePortIfOpen();
    emit unloading();
}

void Form1::refreshDisplay()
{
    const Engine::Display &display = m_engine->display();
    m_label11->setText(display.txd);
    m_label12->setText(display.rxd);
    m_label25->setText(display.status);
    m_label27->setVisible(display.spaceLegend);
    m_label28->setVisible(display.crLegend);
    m_label29->setVisible(display.ackLegend);
}
