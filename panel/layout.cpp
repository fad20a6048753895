#include "layout.h"

#include "app/look.h"

#include <QFrame>
#include <QLabel>

namespace Panel {

namespace {

struct BoxSpec
{
    const char *name;
    int left, top, width, height;
};

enum LabelStyle : unsigned {
    Plain = 0,
    OutputLine = 1, // white with a single border
    RedText = 2,
    Hidden = 4,
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

const BoxSpec Boxes[] = {
    {"Frame9", 120, 5400, 8295, 948},
    {"Frame15", 120, 6960, 6105, 492},
};

const LabelSpec Labels[] = {
    {"Label9", "Frame9", "TxD", 120, 240, 420, 240, 9.75, Plain},
    {"Label11", "Frame9", "", 600, 195, 7575, 300, 12, OutputLine},
    {"Label10", "Frame9", "RxD", 120, 600, 420, 240, 9.75, Plain},
    {"Label12", "Frame9", "", 585, 555, 7575, 300, 12, OutputLine},
    {"Label26", "Frame15", "STATUS", 120, 165, 855, 240, 9.75, Plain},
    {"Label25", "Frame15", "", 1020, 135, 4950, 285, 10.5, OutputLine | RedText},
    {"Label28", nullptr, "[CR] :Carriage Return Code (0x0D)", 120, 6405, 3975, 210, 9.75,
     RedText | Hidden},
    {"Label27", nullptr, "_ :Space Code (0x20)", 4200, 6405, 2175, 210, 9.75, RedText | Hidden},
    {"Label29", nullptr, "[ACK]  :ACKnowledgemend Code (0x06)", 120, 6600, 3975, 210, 9.75,
     RedText | Hidden},
};

QLabel *makeLabel(const LabelSpec &spec, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(spec.name));
    // Replies and typed text are shown as characters, never interpreted as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromLatin1(spec.text));
    label->setGeometry(Look::twips(spec.left, spec.top, spec.width, spec.height));
    label->setFont(Look::uiFont(spec.pointSize));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, (spec.style & RedText) ? Qt::red : Qt::black);
    if (spec.style & OutputLine) {
        label->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, Qt::white);
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
    }
    label->setPalette(palette);
    label->setVisible(!(spec.style & Hidden));
    return label;
}

} // namespace

Widgets buildBoxesAndLabels(QWidget *form)
{
    Widgets widgets;
    for (const BoxSpec &spec : Boxes) {
        auto *box = new QFrame(form);
        box->setObjectName(QString::fromLatin1(spec.name));
        box->setFrameStyle(QFrame::Box | QFrame::Sunken);
        box->setGeometry(Look::twips(spec.left, spec.top, spec.width, spec.height));
        widgets.boxes.insert(box->objectName(), box);
    }
    for (const LabelSpec &spec : Labels) {
        QWidget *parent = spec.box ? widgets.boxes.value(QString::fromLatin1(spec.box)) : form;
        Q_ASSERT(parent);
        QLabel *label = makeLabel(spec, parent);
        widgets.labels.insert(label->objectName(), label);
    }
    return widgets;
}

} // namespace Panel
