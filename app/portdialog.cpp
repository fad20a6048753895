#include "portdialog.h"

#include "app/form1.h"
#include "link/engine.h"
#include "settings/form2.h"

namespace PortDialog {

namespace {

Form2 *openDialogOf(Form1 *main)
{
    // A closed dialog may linger until its deletion; it no longer counts.
    for (Form2 *dialog : main->findChildren<Form2 *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

Form2 *load(Form1 *main)
{
    auto *dialog = new Form2(main->engine(), main);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // It acts on the main window's port, so it must not outlive the main window on screen.
    QObject::connect(main, &Form1::unloading, dialog, &QWidget::close);
    return dialog;
}

} // namespace

void openFromComButton(Form1 *main)
{
    Engine &engine = *main->engine();
    engine.closePortIfOpen();
    Form2 *dialog = openDialogOf(main);
    if (!dialog) {
        // Only now: a choice made in an open dialog but not confirmed is not the port in use,
        // and Cancel must not open it.
        engine.SavedBaudCode = engine.BaudCode;
        engine.SavedComPortNumber = engine.ComPortNumber;
        dialog = load(main);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void runAtStartup(Form1 *main)
{
    load(main)->exec();
}

} // namespace PortDialog
