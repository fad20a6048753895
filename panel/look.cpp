#include "look.h"

#include <QApplication>
#include <QStyleFactory>

namespace Look {

namespace {
const QString Face = QStringLiteral("MS PGothic");
}

QFont uiFont(qreal pointSize)
{
    QFont font(Face);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

void install()
{
    // Drawn to the same metrics, so captions fit their buttons as laid out.
    QFont::insertSubstitution(Face, QStringLiteral("IPAPGothic"));
    // The same look on every platform, the offscreen one of the tests included.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

} // namespace Look
