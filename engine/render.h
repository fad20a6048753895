#pragma once

#include <QByteArray>
#include <QString>

// The echo: every character followed by a blank, control characters spelled out.
namespace Render {

enum Legend : unsigned {
    NoLegend = 0,
    SpaceLegend = 1,
    CrLegend = 2,
    AckLegend = 4,
};

struct Result
{
    QString text;
    unsigned legends = NoLegend; // the legend lines this text asks to show
};

Result echo(const QByteArray &text);

} // namespace Render
