#pragma once

class Form1;

// How the main window opens the port dialog.
namespace PortDialog {

// The COM button: closes the port if it is open, remembers the port and speed in use (restored by
// the dialog's Cancel) and shows the dialog modeless. A dialog already open is only brought
// forward and keeps its state.
void openFromComButton(Form1 *main);

// Start-up without a usable stored port, or with one that did not open: shows the dialog modally
// and returns once it has closed.
void runAtStartup(Form1 *main);

} // namespace PortDialog
