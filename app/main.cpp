#include "app/form1.h"
#include "app/look.h"
#include "link/engine.h"
#include "link/qtserialport.h"
#include "link/timer.h"
#include "settings/portdialog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Look::install();

    QtTimerFactory timers;
    QtSerialPort port;
    Engine engine(&port, timers);
    Form1 form(&engine);
    if (!form.Form_Load())
        PortDialog::runAtStartup(&form);
    form.show();
    return app.exec();
}
