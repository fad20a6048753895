#include "layout.h"

#include "buttonmap.h"
#include "holdbutton.h"
#include "panel/look.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace Panel {

namespace {

struct BoxSpec
{
    const char *name;
    const char *title; // what the box is called in arrow names
    int left, top, width, height;
    bool inactiveCaptionBackground;
};

enum LabelStyle : unsigned {
    Plain = 0,
    OutputLine = 1, // white with a single border
    RedText = 2,
    Hidden = 4,
    DarkRedOnCaption = 8,
};

struct LabelSpec
{
    const char *name;
    const char *box; // nullptr: on the window itself
    const char *text;
    int left, top, width, height;
    qreal pointSize;
    unsigned style;
};

// clang-format off
const BoxSpec Boxes[] = {
    {"Frame1",  "POWER",       120,     0,  975, 1520, true},
    {"Frame2",  "INPUT 1",     1200,    0, 5355,  732, false},
    {"Frame8",  "INPUT 3",     6615,    0, 3595,  732, false},
    {"Frame11", "INPUT 2",     1200,  800, 5355,  732, false},
    {"Frame12", "INPUT 4",     6615,  800, 2025,  732, false},
    {"Frame3",  "SOUND MUTE",   120, 1600, 1836,  732, false},
    {"Frame4",  "VIDEO MUTE",  2016, 1600, 1836,  732, false},
    {"Frame7",  "FREEZE",      3912, 1600, 1836,  732, false},
    {"Frame13", "ON START",    5808, 1600, 1880,  732, false},
    {"Frame5",  "SCREEN",      7748, 1600, 2460,  732, false},
    {"Frame19", "VOLUME",       120, 2400, 1080, 1095, false},
    {"Frame17", "BRIGHT",      1260, 2400, 1080, 1095, false},
    {"Frame16", "D.ZOOM",      2400, 2400, 1080, 1095, false},
    {"Frame18", "ZOOM",        3540, 2400, 1080, 1095, false},
    {"Frame22", "FOCUS",       4680, 2400, 1080, 1095, false},
    {"Frame23", "LENS SHIFT",  5820, 2400, 2164, 1455, false},
    {"Frame10", "KEYSTONE",    8044, 2400, 2164, 1455, false},
    {"Frame20", "R/C KEY OFF", 1785, 3550, 1125, 1695, false},
    {"Frame14", "POWER Management", 2970, 3550, 1450, 1695, false},
    {"Frame21", "LAMP MODE",   4480, 3550, 1280, 1695, false},
    {"Frame6",  "MENU",        5820, 3920, 3465, 1330, false},
    {"Frame9",  "TxD RxD",      120, 5400, 8295,  948, false},
    {"Frame15", "STATUS",       120, 6960, 6105,  492, false},
};

const LabelSpec Labels[] = {
    {"Label1",  "Frame1",  "POWER",       100, 100,  775, 240, 9,    DarkRedOnCaption},
    {"Label2",  "Frame2",  "INPUT 1",     120, 100, 2000, 240, 9,    Plain},
    {"Label15", "Frame8",  "INPUT 3",     120, 100, 2000, 240, 9,    Plain},
    {"Label21", "Frame11", "INPUT 2",     120, 100, 2000, 240, 9,    Plain},
    {"Label22", "Frame12", "INPUT 4",     120, 100, 1785, 240, 9,    Plain},
    {"Label4",  "Frame3",  "SOUND MUTE",  120, 100, 1596, 240, 9,    Plain},
    {"Label5",  "Frame4",  "VIDEO MUTE",  120, 100, 1596, 240, 9,    Plain},
    {"Label8",  "Frame7",  "FREEZE",      120, 100, 1596, 240, 9,    Plain},
    {"Label23", "Frame13", "ON START",    120, 100, 1640, 240, 9.75, Plain},
    {"Label6",  "Frame5",  "SCREEN",      120, 100, 2220, 240, 9,    Plain},
    {"Label3",  "Frame19", "VOLUME",      120, 100,  840, 240, 9,    Plain},
    {"Label16", "Frame17", "BRIGHT",      120, 100,  840, 240, 9,    Plain},
    {"Label17", "Frame16", "D.ZOOM",      120, 100,  840, 240, 9,    Plain},
    {"Label19", "Frame18", "ZOOM",        120, 100,  840, 240, 9,    Plain},
    {"Label30", "Frame22", "FOCUS",       120, 100,  840, 240, 9,    Plain},
    {"Label31", "Frame23", "LENS SHIFT",  120, 100, 1924, 240, 9,    Plain},
    {"Label13", "Frame10", "KEYSTONE",    120, 100, 1924, 240, 9,    Plain},
    {"Label14", "Frame20", "R/C KEY",     120, 100,  885, 240, 9.75, Plain},
    {"Label32", "Frame20", "OFF",         120, 330,  885, 240, 9.75, Plain},
    {"Label24", "Frame14", "POWER ",      120, 100, 1210, 240, 9,    Plain},
    {"Label20", "Frame14", "Management",  120, 330, 1210, 240, 9,    Plain},
    {"Label18", "Frame21", "LAMP MODE",    60, 100, 1200, 240, 9,    Plain},
    {"Label7",  "Frame6",  "MENU",        120, 100, 1000, 240, 9,    Plain},
    {"Label9",  "Frame9",  "TxD",         120, 240,  420, 240, 9.75, Plain},
    {"Label11", "Frame9",  "",            600, 195, 7575, 300, 12,   OutputLine},
    {"Label10", "Frame9",  "RxD",         120, 600,  420, 240, 9.75, Plain},
    {"Label12", "Frame9",  "",            585, 555, 7575, 300, 12,   OutputLine},
    {"Label26", "Frame15", "STATUS",      120, 165,  855, 240, 9.75, Plain},
    {"Label25", "Frame15", "",           1020, 135, 4950, 285, 10.5, OutputLine | RedText},
    {"Label28", nullptr, "[CR] :Carriage Return Code (0x0D)",    120, 6405, 3975, 210, 9.75, RedText | Hidden},
    {"Label27", nullptr, "_ :Space Code (0x20)",                4200, 6405, 2175, 210, 9.75, RedText | Hidden},
    {"Label29", nullptr, "[ACK]  :ACKnowledgemend Code (0x06)",  120, 6600, 3975, 210, 9.75, RedText | Hidden},
};
// clang-format on

QColor faceColour(ButtonMap::Face face)
{
    switch (face) {
    case ButtonMap::Face::OnGreen:
        return Look::OnGreen;
    case ButtonMap::Face::OffRed:
        return Look::OffRed;
    case ButtonMap::Face::Enter:
        return Look::EnterOrange;
    case ButtonMap::Face::StatusRead:
        return Look::StatusCyan;
    case ButtonMap::Face::End:
        return Look::EndPink;
    case ButtonMap::Face::ArrowYellow:
        return Look::ArrowYellow;
    case ButtonMap::Face::Teal:
    case ButtonMap::Face::Plain:
        break;
    }
    return Look::DefaultTeal;
}

// A black triangle on yellow, 17 x 9 pixels.
QPixmap arrowPicture(ButtonMap::Arrow arrow)
{
    constexpr int W = 17;
    constexpr int H = 9;
    QPixmap picture(W, H);
    picture.fill(Look::ArrowYellow);
    QPolygon triangle;
    switch (arrow) {
    case ButtonMap::Arrow::Up:
        triangle << QPoint(0, H - 1) << QPoint(W - 1, H - 1) << QPoint(W / 2, 0);
        break;
    case ButtonMap::Arrow::Down:
        triangle << QPoint(0, 0) << QPoint(W - 1, 0) << QPoint(W / 2, H - 1);
        break;
    case ButtonMap::Arrow::Left:
        triangle << QPoint(W / 2 + 4, 0) << QPoint(W / 2 + 4, H - 1) << QPoint(W / 2 - 4, H / 2);
        break;
    case ButtonMap::Arrow::Right:
        triangle << QPoint(W / 2 - 4, 0) << QPoint(W / 2 - 4, H - 1) << QPoint(W / 2 + 4, H / 2);
        break;
    case ButtonMap::Arrow::None:
        return picture;
    }
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::black);
    painter.drawPolygon(triangle);
    return picture;
}

const char *directionName(ButtonMap::Arrow arrow)
{
    switch (arrow) {
    case ButtonMap::Arrow::Up:
        return "up";
    case ButtonMap::Arrow::Down:
        return "down";
    case ButtonMap::Arrow::Left:
        return "left";
    case ButtonMap::Arrow::Right:
        return "right";
    case ButtonMap::Arrow::None:
        break;
    }
    return "";
}

QLabel *makeLabel(const LabelSpec &row, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(row.name));
    // Replies and typed text are shown as characters, never interpreted as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromLatin1(row.text));
    label->setGeometry(Look::twips(row.left, row.top, row.width, row.height));
    label->setFont(Look::uiFont(row.pointSize));
    QPalette palette = label->palette();
    QColor text = Qt::black;
    if (row.style & RedText)
        text = Qt::red;
    if (row.style & DarkRedOnCaption)
        text = Look::DarkRed;
    palette.setColor(QPalette::WindowText, text);
    if (row.style & OutputLine) {
        label->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, Qt::white);
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
    }
    label->setPalette(palette);
    label->setVisible(!(row.style & Hidden));
    return label;
}

QFrame *makeBox(const BoxSpec &row, QWidget *parent)
{
    auto *box = new QFrame(parent);
    box->setObjectName(QString::fromLatin1(row.name));
    box->setFrameStyle(QFrame::Box | QFrame::Sunken);
    box->setGeometry(Look::twips(row.left, row.top, row.width, row.height));
    if (row.inactiveCaptionBackground) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Window, Look::InactiveCaptionText);
        box->setPalette(palette);
        box->setAutoFillBackground(true);
    }
    return box;
}

QPushButton *makeButton(const ButtonMap::Button &row, QWidget *parent)
{
    QPushButton *button
        = row.kind == ButtonMap::Kind::Hold ? new HoldButton(parent) : new QPushButton(parent);
    button->setObjectName(QStringLiteral("Command%1").arg(row.number));
    button->setGeometry(Look::twips(row.left, row.top, row.width, row.height));
    button->setFont(Look::uiFont(row.pointSize));
    if (row.caption)
        button->setText(QString::fromLatin1(row.caption));
    if (row.arrow != ButtonMap::Arrow::None) {
        const QPixmap picture = arrowPicture(row.arrow);
        button->setIcon(picture);
        button->setIconSize(picture.size());
        button->setAccessibleName(arrowName(row.number));
    }
    if (row.face != ButtonMap::Face::Plain) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, faceColour(row.face));
        palette.setColor(QPalette::ButtonText, Qt::black);
        button->setPalette(palette);
    }
    // Enter presses a focused button as Space does; hold buttons ignore both.
    if (row.kind != ButtonMap::Kind::Hold)
        button->setAutoDefault(true);
    return button;
}

const BoxSpec *findBox(const char *name)
{
    if (!name)
        return nullptr;
    for (const BoxSpec &box : Boxes) {
        if (qstrcmp(box.name, name) == 0)
            return &box;
    }
    return nullptr;
}

} // namespace

QString arrowName(int buttonNumber)
{
    const ButtonMap::Button *button = ButtonMap::find(buttonNumber);
    if (!button || button->arrow == ButtonMap::Arrow::None)
        return QString();
    const BoxSpec *box = findBox(button->box);
    const QString where = box ? QString::fromLatin1(box->title) : QStringLiteral("menu");
    return where + QLatin1Char(' ') + QLatin1String(directionName(button->arrow));
}

Widgets build(QWidget *form)
{
    Widgets widgets;
    for (const BoxSpec &row : Boxes) {
        QFrame *box = makeBox(row, form);
        widgets.boxes.insert(box->objectName(), box);
    }
    for (const LabelSpec &row : Labels) {
        QWidget *parent = row.box ? widgets.boxes.value(QString::fromLatin1(row.box)) : form;
        Q_ASSERT(parent);
        QLabel *label = makeLabel(row, parent);
        widgets.labels.insert(label->objectName(), label);
    }
    QWidget *previous = nullptr;
    for (const ButtonMap::Button &row : ButtonMap::buttons()) {
        QWidget *parent = row.box ? widgets.boxes.value(QString::fromLatin1(row.box)) : form;
        Q_ASSERT(parent);
        QPushButton *button = makeButton(row, parent);
        // Buttons on the window itself, the menu cluster among them, lie above the boxes.
        button->raise();
        widgets.buttons.insert(row.number, button);
        if (previous)
            QWidget::setTabOrder(previous, button);
        previous = button;
    }
    return widgets;
}

} // namespace Panel
