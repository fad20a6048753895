#include "consolecommand.h"

QString commandPart(const QString &source)
{
    const qsizetype bracket = source.indexOf(QLatin1Char('['));
    return bracket < 0 ? source : source.left(bracket);
}
