#pragma once

#include <QString>

namespace ConfigDir {

// $XDG_CONFIG_HOME/ORVA (or ~/.config/ORVA), read afresh at every call.
QString appFolder();

} // namespace ConfigDir
