// Grabs the panel, expanded, after a few status reads against whatever answers on the stored
// port (the virtual projector, from tools/make-screenshot). Usage: panel-screenshot OUT.png
// panel-screenshot --port-dialog OUT.png grabs the port dialog as it opens, touching no port.
// panel-screenshot --show compact|expanded|port-dialog|console shows that view and keeps it
// on screen, after printing "shown", until it is ended: for grabbing the screen, title bars and
// all, as the platform draws them (tools/windows/make-screenshots).
#include "app/form1.h"
#include "app/portdialog.h"
#include "app/program.h"
#include "engine/engine.h"
#include "link/linkport.h"
#include "engine/timer.h"
#include "panel/look.h"
#include "settings/form2.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdio>

namespace {

constexpr int LampModeEco = 66;
constexpr int LampModeRead = 76;
constexpr int CommandTable = 74;

bool clickAndWait(Form1 &form, int button)
{
    QTest::mouseClick(form.button(button), Qt::LeftButton);
    return QTest::qWaitFor([&] { return !form.Label25->text().isEmpty(); }, 3000);
}

// ECO1, then LAMP-MODE: the echo lines and the STATUS line all hold something.
bool readLampMode(Form1 &form)
{
    QTest::mouseClick(form.button(LampModeEco), Qt::LeftButton);
    QTest::qWait(300); // its acknowledgement
    if (clickAndWait(form, LampModeRead))
        return true;
    std::fprintf(stderr, "panel-screenshot: no answer on the line\n");
    return false;
}

int show(QApplication &app, Program &program, const QByteArray &view)
{
    Form1 &form = program.form();
    if (!form.Form_Load()) {
        std::fprintf(stderr, "panel-screenshot: the stored port did not open\n");
        return 1;
    }
    form.show();
    if (view == "expanded") {
        form.setHeight(Form1::ExpandedHeightTwips);
        if (!readLampMode(form))
            return 1;
    } else if (view == "port-dialog") {
        PortDialog::openFromComButton(&form);
    } else if (view == "console") {
        QTest::mouseClick(form.button(CommandTable), Qt::LeftButton);
    } else if (view != "compact") {
        std::fprintf(stderr, "panel-screenshot: no view \"%s\"\n", view.constData());
        return 2;
    }
    // Painted and placed; the expanded view's lines clear 1.2 s after the last send.
    QTest::qWait(view == "expanded" ? 100 : 500);
    std::puts("shown");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray option = argc == 3 ? QByteArray(argv[1]) : QByteArray();
    if (argc != 2 && option != "--port-dialog" && option != "--show") {
        std::fprintf(stderr,
                     "usage: panel-screenshot [--port-dialog] OUT.png\n"
                     "       panel-screenshot --show compact|expanded|port-dialog|console\n");
        return 2;
    }
    Look::install();
    Program program;
    if (option == "--show")
        return show(app, program, QByteArray(argv[2]));
    const QString out = QString::fromLocal8Bit(argv[argc - 1]);
    Form1 &form = program.form();
    if (option == "--port-dialog") {
        Form2 dialog(&program.engine(), form.portChoice());
        dialog.show();
        return dialog.grab().save(out) ? 0 : 1;
    }
    if (!form.Form_Load()) {
        std::fprintf(stderr, "panel-screenshot: the stored port did not open\n");
        return 1;
    }
    form.setHeight(Form1::ExpandedHeightTwips);
    form.show();
    if (!readLampMode(form) || !form.grab().save(out))
        return 1;
    return 0;
}
