#pragma once

class Form1;

namespace Console {

// The COMMANDTABLE button: longer reply intervals and no STATUS frame while the console is open;
// a console already open is only brought forward, as it stands.
void openFromCommandTable(Form1 *main);

} // namespace Console
