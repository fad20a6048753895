#include "look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyleFactory>

namespace Look {

namespace {
const QString Face = QStringLiteral("MS PGothic");
const QString SameMetrics = QStringLiteral("IPAPGothic");
} // namespace

QFont uiFont(qreal pointSize)
{
    QFont font(Face);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    // The widths the captions were laid out for, on every platform: full hinting (Windows'
    // default) rounds each advance up and widens a synthesised bold by a pixel a character.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

void install()
{
    // Drawn to the same metrics, so captions fit their buttons as laid out.
    QFont::insertSubstitution(Face, SameMetrics);
    // A Windows machine without Japanese fonts has neither: the Windows packages bring a copy.
    if (!QFontDatabase::hasFamily(Face) && !QFontDatabase::hasFamily(SameMetrics))
        QFontDatabase::addApplicationFont(QCoreApplication::applicationDirPath()
                                          + QStringLiteral("/fonts/ipagp.ttf"));
    // The same look on every platform, the offscreen one of the tests included.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

} // namespace Look
