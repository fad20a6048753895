#include "configdir.h"

#include <QDir>

namespace ConfigDir {

#ifdef Q_OS_WIN
namespace {

const char RedirectVariable[] = "ORVA_CONFIG_HOME";

} // namespace
#endif

bool isRedirected()
{
#ifdef Q_OS_WIN
    return !qEnvironmentVariableIsEmpty(RedirectVariable);
#else
    return false;
#endif
}

QString appFolder()
{
#ifdef Q_OS_WIN
    const QString base = qEnvironmentVariable(isRedirected() ? RedirectVariable : "APPDATA");
    return QDir::fromNativeSeparators(base) + QStringLiteral("/ORVA");
#else
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/ORVA");
#endif
}

} // namespace ConfigDir
