#include "render.h"

#include "protocol.h"

namespace Render {

Result echo(const QByteArray &text)
{
    Result result;
    result.text.reserve(1 + 2 * text.size());
    result.text += QLatin1Char(' ');
    for (const char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (ch == Wire::Ack) {
            result.text += QLatin1String(" [ACK] ");
            result.legends |= AckLegend;
        } else if (ch == Wire::Cr) {
            result.text += QLatin1String(" [CR] ");
            result.legends |= CrLegend;
        } else if (ch == Wire::Lf) {
            result.text += QLatin1String(" [LF]  ");
        } else if (ch == Wire::Space) {
            result.text += QLatin1String("_ ");
            result.legends |= SpaceLegend;
        } else if (code >= 0x21 && code <= 0x7A) {
            result.text += QLatin1Char(ch);
            result.text += QLatin1Char(' ');
        } else {
            // Other control codes, "{|}~", DEL and everything beyond ASCII.
            result.text += QLatin1String("? ");
        }
    }
    return result;
}

} // namespace Render
