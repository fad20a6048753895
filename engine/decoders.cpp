#include "decoders.h"

#include "protocol.h"
#include "render.h"

#include <QRegularExpression>

#include <iterator>

namespace Decoders {

namespace {

struct Code
{
    const char *reply;
    const char *words;
    const char *value; // what Values holds for it; nullptr where only the words count
};

const Code StatusCodes[] = {
    {"00", " Power ON", "on"},
    {"80", " Stand by", "standby"},
    {"40", " Count down", "warming"},
    {"20", " Cooling down", "cooling"},
    {"10", " Power abnormality", "power_fault"},
    {"08", " Temperature abnormality", "temperature_fault"},
    {"18", " Temperature abnormality", "temperature_fault"},
    {"28", " Temperature abnormality", "temperature_fault"},
    {"48", " Temperature abnormality", "temperature_fault"},
    {"88", " Temperature abnormality", "temperature_fault"},
    {"21", " Lamp Failure", "lamp_fault"},
    {"81", " Lamp Failure", "lamp_fault"},
};

const Code InputModeCodes[] = {
    {"1", " Input 1", "input1"}, {"2", " Input 2", "input2"},           {"3", " Input 3", "input3"},
    {"4", " Wired", "wired"},    {"5", " Wireless/Viewer", "wireless"},
};

const Code SettingCodes[] = {
    {"11", " Normally", nullptr},
    {"10", " Top/Bottom reversal", nullptr},
    {"01", " Left/Right reversal", nullptr},
    {"00", " Top/Bottom , Left/Right reversal", nullptr},
};

const Code LampStatusCodes[] = {
    {"000 1I", " Lamp is ON", "on"},
    {"000 1O", " Lamp is OFF", "off"},
    {"000 1X", " Lamp is failure", "failure"},
};

const Code LampModeCodes[] = {
    {"000 HIGH", " Lamp Mode is High", "high"},
    {"000 NORMAL", " Lamp Mode is NORMAL", "normal"},
    {"000 ECO", " Lamp Mode is Eco", "eco"},
};

// A code is matched in its echoed form without the final blank: "80" as " 8 0".
QString echoedCode(const char *reply)
{
    const QString echoed = Render::echo(QByteArray(reply)).text;
    return echoed.left(echoed.size() - 1);
}

template<std::size_t N> const Code *matchPrefix(const Code (&codes)[N], const QString &rendered)
{
    for (const Code &code : codes) {
        const QString expected = echoedCode(code.reply);
        if (rendered.left(expected.size()) == expected)
            return &code;
    }
    return nullptr;
}

// The reply up to its CR: everything but the 7 characters that close the echo.
const Code *matchLampMode(const QString &rendered)
{
    constexpr int EchoedCrLength = 7;
    if (rendered.size() < EchoedCrLength)
        return nullptr;
    const QString compared = rendered.left(rendered.size() - EchoedCrLength);
    for (const Code &code : LampModeCodes) {
        if (compared == echoedCode(code.reply))
            return &code;
    }
    return nullptr;
}

std::optional<QString> wordsOf(const Code *code)
{
    return code ? std::optional<QString>(QString::fromLatin1(code->words)) : std::nullopt;
}

QString valueOf(const Code *code)
{
    return code && code->value ? QString::fromLatin1(code->value) : QString();
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
// CR6: three fields of five characters, one separator after each of the first two.
constexpr int TemperatureFieldLength = 5;
constexpr int TemperatureFieldStep = 6;

// The panel shows whatever characters stand there; a number is read only where digits do.
std::optional<double> number(const QByteArray &field, const QRegularExpression &pattern)
{
    if (!pattern.match(QString::fromLatin1(field)).hasMatch())
        return std::nullopt;
    return field.toDouble();
}

const QVector<StatusRead> StatusReads = {
    {"STATUS", Wire::ReadStatus},      {"MODE", Wire::ReadInputMode},
    {"TEMP", Wire::ReadTemperature},   {"SETTING", Wire::ReadSetting},
    {"LAMP-TIME", Wire::ReadLampTime}, {"LAMP-STATUS", Wire::ReadLampStatus},
    {"LAMP-MODE", Wire::ReadLampMode},
};

} // namespace

std::optional<QString> decode(const QByteArray &currentCommand, const QString &rendered,
                              int receivedCount, const QString &status)
{
    if (currentCommand == Wire::frame(Wire::ReadStatus))
        return wordsOf(matchPrefix(StatusCodes, rendered));
    if (currentCommand == Wire::frame(Wire::ReadInputMode))
        return wordsOf(matchPrefix(InputModeCodes, rendered));
    if (currentCommand == Wire::frame(Wire::ReadSetting))
        return wordsOf(matchPrefix(SettingCodes, rendered));
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
        return wordsOf(matchPrefix(LampStatusCodes, rendered));
    if (currentCommand == Wire::frame(Wire::ReadLampMode))
        return wordsOf(matchLampMode(rendered));
    return std::nullopt;
}

const QVector<StatusRead> &statusReads()
{
    return StatusReads;
}

void Values::merge(const Values &other)
{
    if (!lampHours)
        lampHours = other.lampHours;
    if (!temperaturesC)
        temperaturesC = other.temperaturesC;
    for (auto [mine, theirs] :
         {std::pair {&power, &other.power}, std::pair {&input, &other.input},
          std::pair {&lamp, &other.lamp}, std::pair {&lampMode, &other.lampMode}}) {
        if (mine->isEmpty())
            *mine = *theirs;
    }
}

Values values(const QByteArray &command, const QByteArray &reply)
{
    static const QRegularExpression hours(QStringLiteral("^[0-9]{5}$"));
    static const QRegularExpression degrees(QStringLiteral("^[0-9]+(\\.[0-9]+)?$"));
    // The same rules as the words: matched on the echo, lengths counted in characters.
    const QString rendered = Render::echo(reply).text;
    Values result;
    if (command == Wire::ReadStatus) {
        result.power = valueOf(matchPrefix(StatusCodes, rendered));
    } else if (command == Wire::ReadInputMode) {
        result.input = valueOf(matchPrefix(InputModeCodes, rendered));
    } else if (command == Wire::ReadLampStatus) {
        result.lamp = valueOf(matchPrefix(LampStatusCodes, rendered));
    } else if (command == Wire::ReadLampMode) {
        result.lampMode = valueOf(matchLampMode(rendered));
    } else if (command == Wire::ReadLampTime && reply.size() == LampTimeReplyLength) {
        if (const auto count = number(reply.left(LampTimeReplyLength - 1), hours))
            result.lampHours = int(*count);
    } else if (command == Wire::ReadTemperature && reply.size() == TemperatureReplyLength) {
        std::array<double, 3> fields {};
        for (int i = 0; i < 3; ++i) {
            const auto field
                = number(reply.mid(i * TemperatureFieldStep, TemperatureFieldLength), degrees);
            if (!field)
                return result;
            fields[i] = *field;
        }
        result.temperaturesC = fields;
    }
    return result;
}

QStringList powerStates()
{
    QStringList states;
    for (const Code &code : StatusCodes) {
        if (!states.contains(QLatin1String(code.value)))
            states << QString::fromLatin1(code.value);
    }
    return states;
}

bool isRead(const QByteArray &command)
{
    // "CR" and a digit, or "CR " and a keyword.
    return command.startsWith("CR");
}

bool acknowledged(const QByteArray &reply)
{
    return reply.startsWith(Wire::Ack);
}

QString words(const QString &status)
{
    qsizetype blanks = 0;
    while (blanks < status.size() && status.at(blanks) == QLatin1Char(' '))
        ++blanks;
    return status.mid(blanks);
}

} // namespace Decoders
