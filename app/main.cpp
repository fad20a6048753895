#include "app/form1.h"
#include "app/look.h"
#include "link/engine.h"
#include "link/qtserialport.h"
#include "link/timer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Look::install();

    QtTimerFactory timers;
    QtSerialPort port;
    Engine engine(&port, timers);
    Form1 form(&engine);
    form.Form_Load();
    form.show();
    return app.exec();
}
