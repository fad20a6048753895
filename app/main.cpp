#include "app/program.h"
#include "panel/look.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Look::install();
    Program program;
    program.start();
    return app.exec();
}
