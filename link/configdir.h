#pragma once

#include <QString>

namespace ConfigDir {

// The program's own folder, read afresh at every call: $XDG_CONFIG_HOME/ORVA (or
// ~/.config/ORVA); on Windows %APPDATA%\ORVA, or $ORVA_CONFIG_HOME\ORVA when that is set.
QString appFolder();

// Windows only: ORVA_CONFIG_HOME is set, so the settings live in a file in appFolder() instead
// of the registry. The tests use it to leave the user's own settings alone.
bool isRedirected();

} // namespace ConfigDir
