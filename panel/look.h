#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

// Geometry, fonts and colours of the windows.
namespace Look {

constexpr int TwipsPerPixel = 15;
// Title bar and borders of the windows the outer sizes were laid out for: every platform gets
// the same client area.
constexpr int NominalBorderPx = 4;
constexpr int NominalTitleBarPx = 24;
constexpr int NominalFrameExtraPx = NominalTitleBarPx + 2 * NominalBorderPx;

constexpr int px(int twips)
{
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}
// The client height of a window whose outer height, title bar included, is `outerTwips`.
constexpr int clientHeightPx(int outerTwips)
{
    return px(outerTwips) - NominalFrameExtraPx;
}
// The outer width, borders included, of a window `clientTwips` wide inside.
constexpr int outerWidthPx(int clientTwips)
{
    return px(clientTwips) + 2 * NominalBorderPx;
}
inline QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// Bold Gothic UI face at a point size; falls back to IPAPGothic, then Qt's own choice.
QFont uiFont(qreal pointSize);
// Registers the font substitution and the style once per application.
void install();

inline const QColor WindowGrey(192, 192, 192);
inline const QColor OnGreen(128, 255, 128);
inline const QColor OffRed(255, 128, 128);
inline const QColor EnterOrange(255, 192, 128);
inline const QColor StatusCyan(192, 255, 255);
inline const QColor EndPink(255, 192, 192);
inline const QColor DefaultTeal(0, 192, 192);
inline const QColor ArrowYellow(255, 255, 128);
inline const QColor DarkRed(128, 0, 0);
// The classic system colour for the text of an inactive title bar.
inline const QColor InactiveCaptionText(212, 208, 200);

} // namespace Look
