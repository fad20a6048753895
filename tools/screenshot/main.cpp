// Grabs the panel, expanded, after a few status reads against whatever answers on the stored
// port (the virtual projector, from tools/make-screenshot). Usage: panel-screenshot OUT.png
// panel-screenshot --port-dialog OUT.png grabs the port dialog as it opens, touching no port.
#include "app/form1.h"
#include "app/program.h"
#include "link/engine.h"
#include "link/linkport.h"
#include "link/timer.h"
#include "panel/look.h"
#include "settings/form2.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

bool clickAndWait(Form1 &form, int button)
{
    QTest::mouseClick(form.button(button), Qt::LeftButton);
    return QTest::qWaitFor([&] { return !form.Label25->text().isEmpty(); }, 3000);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool portDialog = argc == 3 && QByteArray(argv[1]) == "--port-dialog";
    if (argc != 2 && !portDialog) {
        std::fprintf(stderr, "usage: panel-screenshot [--port-dialog] OUT.png\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[argc - 1]);
    Look::install();
    Program program;
    Form1 &form = program.form();
    if (portDialog) {
        Form2 dialog(&program.engine());
        dialog.show();
        return dialog.grab().save(out) ? 0 : 1;
    }
    if (!form.Form_Load()) {
        std::fprintf(stderr, "panel-screenshot: the stored port did not open\n");
        return 1;
    }
    form.setHeight(Form1::ExpandedHeightTwips);
    form.show();
    const int lampModeEco = 66;
    const int lampModeRead = 76;
    QTest::mouseClick(form.button(lampModeEco), Qt::LeftButton);
    QTest::qWait(300); // its acknowledgement
    if (!clickAndWait(form, lampModeRead)) {
        std::fprintf(stderr, "panel-screenshot: no answer on the line\n");
        return 1;
    }
    if (!form.grab().save(out))
        return 1;
    return 0;
}
