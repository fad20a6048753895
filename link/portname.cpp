#include "portname.h"

#include "settings/configdir.h"

#include <QFileInfo>

namespace PortName {

QString portsFolder()
{
    return ConfigDir::appFolder() + QStringLiteral("/ports");
}

QString deviceFor(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QFileInfo link(portsFolder() + QStringLiteral("/COM%1").arg(portNumber));
    if (link.exists()) {
        // Open the device itself, so its lock file is the one other serial programs honour.
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.absoluteFilePath() : target;
    }
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

} // namespace PortName
