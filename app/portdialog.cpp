#include "portdialog.h"

#include "app/form1.h"
#include "engine/engine.h"
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
    auto *dialog = new Form2(main->engine(), main->portChoice(), main);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // It acts on the main window's port, so it must not outlive the main window on screen.
    QObject::connect(main, &Form1::unloading, dialog, &QWidget::close);
    return dialog;
}

} // namespace

void openFromComButton(Form1 *main)
{
    main->engine()->close();
    // A dialog already open keeps its unconfirmed choice, and what its Cancel goes back to.
    Form2 *dialog = openDialogOf(main);
    if (!dialog)
        dialog = load(main);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void runAtStartup(Form1 *main)
{
    load(main)->exec();
}

} // namespace PortDialog
