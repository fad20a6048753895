#include "configdir.h"

#include <QDir>

namespace ConfigDir {

QString appFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ORVA");
}

} // namespace ConfigDir
