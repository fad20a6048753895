#include "decoders.h"

#include "protocol.h"
#include "render.h"

#include <iterator>

namespace Decoders {

namespace {

struct Code
{
    const char *reply;
    const char *words;
};

const Code StatusCodes[] = {
    {"00", " Power ON"},
    {"80", " Stand by"},
    {"40", " Count down"},
    {"20", " Cooling down"},
    {"10", " Power abnormality"},
    {"08", " Temperature abnormality"},
    {"18", " Temperature abnormality"},
    {"28", " Temperature abnormality"},
    {"48", " Temperature abnormality"},
    {"88", " Temperature abnormality"},
    {"21", " Lamp Failure"},
    {"81", " Lamp Failure"},
};

const Code InputModeCodes[] = {
    {"1", " Input 1"}, {"2", " Input 2"},         {"3", " Input 3"},
    {"4", " Wired"},   {"5", " Wireless/Viewer"},
};

const Code SettingCodes[] = {
    {"11", " Normally"},
    {"10", " Top/Bottom reversal"},
    {"01", " Left/Right reversal"},
    {"00", " Top/Bottom , Left/Right reversal"},
};

const Code LampStatusCodes[] = {
    {"000 1I", " Lamp is ON"},
    {"000 1O", " Lamp is OFF"},
    {"000 1X", " Lamp is failure"},
};

const Code LampModeCodes[] = {
    {"000 HIGH", " Lamp Mode is High"},
    {"000 NORMAL", " Lamp Mode is NORMAL"},
    {"000 ECO", " Lamp Mode is Eco"},
};

// A code is matched in its echoed form without the final blank: "80" as " 8 0".
QString echoedCode(const char *reply)
{
    const QString echoed = Render::echo(QByteArray(reply)).text;
    return echoed.left(echoed.size() - 1);
}

template<std::size_t N>
std::optional<QString> matchPrefix(const Code (&codes)[N], const QString &rendered)
{
    for (const Code &code : codes) {
        const QString expected = echoedCode(code.reply);
        if (rendered.left(expected.size()) == expected)
            return QString::fromLatin1(code.words);
    }
    return std::nullopt;
}

// The reply up to its CR: everything but the 7 characters that close the echo.
std::optional<QString> matchLampMode(const QString &rendered)
{
    constexpr int EchoedCrLength = 7;
    if (rendered.size() < EchoedCrLength)
        return std::nullopt;
    const QString compared = rendered.left(rendered.size() - EchoedCrLength);
    for (const Code &code : LampModeCodes) {
        if (compared == echoedCode(code.reply))
            return QString::fromLatin1(code.words);
    }
    return std::nullopt;
}

// Leading zeros of the hour count become blanks; the text goes behind what STATUS holds.
QString lampHours(const QString &rendered, const QString &status)
{
    QString text = status;
    bool significant = false;
    const int walked = rendered.size() - 5;
    for (int i = 0; i < walked; ++i) {
        const QChar c = rendered.at(i);
        if (!significant && (c == QLatin1Char(' ') || c == QLatin1Char('0'))) {
            text += QLatin1Char(' ');
        } else {
            text += c;
            significant = true;
        }
    }
    return text + QLatin1String(" Hour Use");
}

QString temperatures(const QString &rendered)
{
    const QString unit = QStringLiteral(" deg C ");
    return rendered.mid(0, 10) + unit + rendered.mid(13, 9) + unit + rendered.mid(25, 9) + unit;
}

constexpr int LampTimeReplyLength = 6;
constexpr int TemperatureReplyLength = 18;

} // namespace

std::optional<QString> decode(const QByteArray &currentCommand, const QString &rendered,
                              int receivedCount, const QString &status)
{
    if (currentCommand == Wire::frame(Wire::ReadStatus))
        return matchPrefix(StatusCodes, rendered);
    if (currentCommand == Wire::frame(Wire::ReadInputMode))
        return matchPrefix(InputModeCodes, rendered);
    if (currentCommand == Wire::frame(Wire::ReadSetting))
        return matchPrefix(SettingCodes, rendered);
    if (currentCommand == Wire::frame(Wire::ReadLampTime)) {
        if (receivedCount != LampTimeReplyLength)
            return std::nullopt;
        return lampHours(rendered, status);
    }
    if (currentCommand == Wire::frame(Wire::ReadTemperature)) {
        if (receivedCount != TemperatureReplyLength)
            return std::nullopt;
        return temperatures(rendered);
    }
    if (currentCommand == Wire::frame(Wire::ReadLampStatus))
        return matchPrefix(LampStatusCodes, rendered);
    if (currentCommand == Wire::frame(Wire::ReadLampMode))
        return matchLampMode(rendered);
    return std::nullopt;
}

} // namespace Decoders
