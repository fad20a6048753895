#include "console.h"

#include "app/form1.h"
#include "console/form3.h"
#include "engine/engine.h"

#include <QFrame>

namespace Console {

void openFromCommandTable(Form1 *main)
{
    main->Frame15->hide();
    main->engine()->setIntervals(Intervals::ConsoleReplyWindowMs, Intervals::ConsoleDisplayClearMs);
    if (Form3 *open = Form3::openInstance()) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto *console = new Form3(main->engine(), main, main->Frame15);
    QObject::connect(main, &Form1::unloading, console, &Form3::mainUnloading);
    console->show();
    console->activateWindow();
}

} // namespace Console
