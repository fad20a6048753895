#pragma once

#include <QString>

namespace ConfigDir {

// The program's own folder: $XDG_CONFIG_HOME/ORVA (or ~/.config/ORVA), %APPDATA%\ORVA on
// Windows; read afresh at every call.
QString appFolder();

} // namespace ConfigDir
