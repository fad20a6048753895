#include "projector.h"

#include "console/catalogue.h"
#include "console/consolecommand.h"
#include "engine/protocol.h"

#include <QSet>

#include <algorithm>

namespace {

using Power = Projector::Power;

// CR0 codes by power state: plain, with a failed lamp, over-heated (which wins over the lamp).
// A failed lamp never lights and an over-heated projector never stays on, so neither fault has
// an "on" code of its own.
struct StatusRow
{
    Power power;
    const char *plain;
    const char *lampFailure;
    const char *overTemperature;
};
constexpr StatusRow StatusCodes[] = {
    {Power::Standby, "80", "81", "88"},
    {Power::CountDown, "40", "40", "48"},
    {Power::On, "00", "00", "08"},
    {Power::Cooling, "20", "21", "28"},
};

// CR6: three sensors, "ddd.d" each.
struct TemperatureRow
{
    Power power;
    const char *normal;
    const char *overheated;
};
constexpr TemperatureRow Temperatures[] = {
    {Power::Standby, "025.0 026.5 027.0", "046.5 061.0 072.5"},
    {Power::CountDown, "027.5 031.0 036.5", "048.0 066.5 084.0"},
    {Power::On, "031.5 038.0 052.5", "049.5 071.0 098.5"},
    {Power::Cooling, "029.0 034.5 044.0", "048.5 068.0 091.0"},
};

// CR4: a ceiling mount turns the picture upside down (both reversals), rear projection mirrors
// it (left/right); both together leave only top/bottom.
struct SettingRow
{
    bool ceiling;
    bool rear;
    const char *code;
};
constexpr SettingRow SettingCodes[] = {
    {false, false, "11"},
    {true, false, "00"},
    {false, true, "01"},
    {true, true, "10"},
};

// Lamp modes in catalogue order: the word CR LAMPMODE answers (the auto modes run the lamp at
// normal power) and the digit CR7 answers (the mode's place in this list).
struct LampModeRow
{
    const char *setting;
    const char *word;
    char digit;
};
constexpr LampModeRow LampModes[] = {
    {"NORMAL", "NORMAL", '0'}, {"ECO1", "ECO", '1'},     {"ECO2", "ECO", '2'},
    {"AUTO1", "NORMAL", '3'},  {"AUTO2", "NORMAL", '4'}, {"HIGH", "HIGH", '5'},
};

// Inputs 1 to 5 (CR1 codes) and the sources each carries, first one chosen at start. Input 4 is
// the wired network, input 5 the wireless/viewer input, reached only by stepping.
constexpr int InputCount = 5;
const QByteArrayList InputSources[InputCount] = {
    {"ANALOG", "SCART", "HDMI"},
    {"ANALOG", "YPBPR", "YCBCR", "VIDEO"},
    {"VIDEO", "S-VIDEO"},
    {"NETWORK"},
    {"NETWORK"},
};

enum class Effect { PowerOn, PowerOff, Input, Set, StepUp, StepDown };
struct BasicRow
{
    const char *command;
    Effect effect;
    const char *keyword; // the input number for Effect::Input
    const char *value;
};
// Basic commands that change what a read answers; the others only acknowledge.
constexpr BasicRow BasicEffects[] = {
    {"C00", Effect::PowerOn, "", ""},
    {"C01", Effect::PowerOff, "", ""},
    {"C02", Effect::PowerOff, "", ""},
    {"C05", Effect::Input, "1", ""},
    {"C06", Effect::Input, "2", ""},
    {"C07", Effect::Input, "3", ""},
    {"C08", Effect::Input, "4", ""},
    {"C09", Effect::StepUp, "VOLUME", ""},
    {"C0A", Effect::StepDown, "VOLUME", ""},
    {"C0B", Effect::Set, "MUTE", "ON"},
    {"C0C", Effect::Set, "MUTE", "OFF"},
    {"C0D", Effect::Set, "VMUTE", "ON"},
    {"C0E", Effect::Set, "VMUTE", "OFF"},
    {"C0F", Effect::Set, "SCREEN", "NORMAL"},
    {"C10", Effect::Set, "SCREEN", "WIDE"},
    {"C1C", Effect::Set, "MENU", "ON"},
    {"C1D", Effect::Set, "MENU", "OFF"},
    {"C20", Effect::StepUp, "BRIGHT", ""},
    {"C21", Effect::StepDown, "BRIGHT", ""},
    {"C23", Effect::Input, "2", "VIDEO"},
    {"C24", Effect::Input, "2", "YPBPR"},
    {"C25", Effect::Input, "2", "ANALOG"},
    {"C28", Effect::Set, "ON-STA", "ON"},
    {"C29", Effect::Set, "ON-STA", "OFF"},
    {"C2A", Effect::Set, "P-MANE", "READY"},
    {"C2B", Effect::Set, "P-MANE", "OFF"},
    {"C2E", Effect::Set, "P-MANE", "SHUTDOWN"},
    {"C33", Effect::Input, "3", "VIDEO"},
    {"C34", Effect::Input, "3", "S-VIDEO"},
    {"C43", Effect::Set, "FREEZE", "ON"},
    {"C44", Effect::Set, "FREEZE", "OFF"},
    {"C4F", Effect::Input, "1", "HDMI"},
    {"C50", Effect::Input, "1", "ANALOG"},
    {"C51", Effect::Input, "1", "SCART"},
};

// Expanded commands that act once and leave nothing a read could show.
const QByteArrayList ActionKeywords = {"KEYEMU",     "KEYSTONE", "DZCENT", "IMAGEADJ", "PCSTORE",
                                       "PCMODEFREE", "FDEFAULT", "FILCTL", "FILSCRL",  "SETPCADJ"};

// What the expanded reads answer at start, after "000 ". Reads computed from the state (power,
// lamp, temperatures, inputs, hours) are not here.
struct ValueRow
{
    const char *keyword;
    const char *value;
};
constexpr ValueRow InitialValues[] = {
    {"VMUTE", "OFF"},
    {"FREEZE", "OFF"},
    {"TEMPFAIL", "060.0 075.0 095.0"},
    {"SHUTCOND", "OPEN"},
    {"SERIALNO", "VP0000001"},
    {"VOLUME", "015"},
    {"MUTE", "OFF"},
    {"SYSTEM", "AUTO"},
    {"SYSLIST", "VGA1 XGA1 D-XGA D-WXGA3 AUTO"},
    {"MODELIST", "VGA1 XGA1 WXGA3"},
    {"HMSLOT", "4"},
    {"IDSLOT1", "01"},
    {"IDSLOT2", "02"},
    {"IDSLOT3", "03"},
    {"IDSLOT4", "04"},
    {"SERSYS", "XGA1"},
    {"SCREEN", "NORMAL"},
    {"CEIL", "OFF"},
    {"REAR", "OFF"},
    {"KYSTNMODE", "RST"},
    {"VSCALE", "100"},
    {"VPOS", "050"},
    {"HSCALE", "100"},
    {"HPOS", "050"},
    {"LAMPREPL", "03000"},
    {"LAMPMODE", "NORMAL"},
    {"HMLAMP", "1"},
    {"LAMPCONTRL", "LAMP1"},
    {"LAMPLIFECONTRL", "MODE1"},
    {"LAMPCHGTIM", "OFF"},
    {"LAMPCHGSTA", "00"},
    {"LAMPINTERVAL", "00"},
    {"FSYNC", "0016"},
    {"TDOTS", "1344"},
    {"CLPPHASE", "0010"},
    {"H-POS", "0160"},
    {"V-POS", "0035"},
    {"DDOTS", "1024"},
    {"DLINE", "0768"},
    {"PCSTORE", "FFFFFFFFFF"},
    {"ORGMODE", "XGA1"},
    {"SETPCADJ", "XGA1"},
    {"LANG", "ENG"},
    {"LOGO", "DFLT"},
    {"LOGOLOCK", "OFF"},
    {"PIP", "OFF"},
    {"PIPSIZE", "SMALL"},
    {"PIPPOSITION", "BTMRIGHT"},
    {"BACKGND", "BLUE"},
    {"POINTER", "ARROW"},
    {"RCODE", "001"},
    {"RCSENSOR", "ALL"},
    {"RTYPE", "IR"},
    {"DISP", "ON"},
    {"STANDBYMODE", "NORMAL"},
    {"P-MANE", "READY"},
    {"P-MANETIME", "05"},
    {"ON-STA", "OFF"},
    {"FANSPEED", "NOR"},
    {"SLANT", "OFF"},
    {"SHUTRCPROT", "OFF"},
    {"SHUTKEYPROT", "OFF"},
    {"SHUTH", "000"},
    {"HDMISETUP", "NORMAL"},
    {"HDMISOUND", "HDMI"},
    {"SECURITY", "OFF"},
    {"PJLOCKNOW", "OFF"},
    {"PJLOCKMENU", "OFF"},
    {"KEYDIS", "NONE"},
    {"TESTPAT", "OFF"},
    {"FILCOND", "NORMAL"},
    {"FILREPL", "00500"},
    {"FILTIMER", "0400"},
    {"FILREMAIN", "09"},
    {"BRIGHT", "032"},
    {"CONT", "032"},
    {"COLOR", "032"},
    {"TINT", "032"},
    {"SHARP", "016"},
    {"GAMMA", "008"},
    {"WBAL-R", "032"},
    {"WBAL-G", "032"},
    {"WBAL-B", "032"},
    {"COLTEMP", "001"},
    {"NZRED", "OFF"},
    {"PROGV", "L1"},
    {"IMAGE", "STAND"},
    {"IMGGMD", "008"},
    {"MENU", "OFF"},
};

// The projector has run longer than its present lamp; the filter was changed a while ago.
constexpr int ProjectorHoursAheadOfLamp = 1250;
constexpr int FilterHoursAtStart = 120;

const QByteArray ExpandPrefix = "CF ";
const QByteArray ReadPrefix = "CR ";
const QByteArray ReadAnswerPrefix = "000 ";

bool isStep(const QByteArray &argument)
{
    return argument == "UP" || argument == "DN";
}

bool matchesPattern(const QByteArray &pattern, const QByteArray &command)
{
    if (pattern.size() != command.size())
        return false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const char c = command.at(i);
        if (pattern.at(i) == '%' ? (c < '0' || c > '9') : c != pattern.at(i))
            return false;
    }
    return true;
}

// "LOGO 1234 OFF": the digits in front are a PIN, the word after them is the setting.
QByteArray withoutPin(const QByteArray &argument)
{
    const qsizetype space = argument.indexOf(' ');
    if (space <= 0)
        return argument;
    const QByteArray head = argument.left(space);
    const bool pin = std::all_of(head.begin(), head.end(),
                                 [](char c) { return c == '%' || (c >= '0' && c <= '9'); });
    return pin ? argument.mid(space + 1) : argument;
}

// What the catalogues say the projector knows. The same for every projector, so built once: a
// fleet of a thousand would otherwise hold a thousand copies.
struct CommandIndex
{
    QSet<QByteArray> exact; // commands without placeholders
    QByteArrayList patterns; // commands with placeholders ("%" is one digit)
    QHash<QByteArray, QByteArrayList> words; // a keyword's choices, in catalogue order
    QHash<QByteArray, QByteArray> numberFields; // a keyword's digit argument ("0%%")
};

CommandIndex buildCommandIndex()
{
    CommandIndex index;
    for (const QStringList *rows :
         {&Catalogue::basic(), &Catalogue::expand(), &Catalogue::expandRead()}) {
        for (const QString &row : *rows) {
            const QByteArray command = commandPart(row).toLatin1();
            if (command.contains('%'))
                index.patterns.append(command);
            else
                index.exact.insert(command);
        }
    }
    index.exact.insert(Wire::ReadLampStatus); // sent by the panel, missing from the lists

    // A keyword's choices and digit field, for stepping with UP and DN.
    for (const QString &row : Catalogue::expand()) {
        const QByteArray words = commandPart(row).toLatin1().mid(ExpandPrefix.size());
        const qsizetype space = words.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArray keyword = words.left(space);
        const QByteArray argument = withoutPin(words.mid(space + 1));
        if (argument.contains('%'))
            index.numberFields.insert(keyword, argument);
        else if (!isStep(argument) && !argument.endsWith(" UP") && !argument.endsWith(" DN")
                 && !index.words[keyword].contains(argument))
            index.words[keyword].append(argument);
    }
    return index;
}

const CommandIndex &commandIndex()
{
    static const CommandIndex index = buildCommandIndex();
    return index;
}

} // namespace

Projector::Projector()
    : Projector(Setup())
{ }

Projector::Projector(const Setup &setup)
    : m_setup(setup)
{
    m_setup.msPerLampHour = qMax<qint64>(1, m_setup.msPerLampHour);
    m_setup.lampHours = qBound(0, m_setup.lampHours, MaxHours);
    m_filterBaseHours = FilterHoursAtStart;
    for (const QByteArrayList &sources : InputSources)
        m_sources.append(sources.first());
    for (const ValueRow &row : InitialValues)
        m_values.insert(row.keyword, row.value);
}

bool Projector::knows(const QByteArray &command) const
{
    const CommandIndex &index = commandIndex();
    if (index.exact.contains(command))
        return true;
    return std::any_of(index.patterns.begin(), index.patterns.end(),
                       [&](const QByteArray &pattern) { return matchesPattern(pattern, command); });
}

QByteArray Projector::answer(const QByteArray &command, qint64 nowMs)
{
    advanceTo(nowMs);
    if (!knows(command))
        return ErrorAnswer;

    QByteArray reply;
    if (command == Wire::ReadStatus)
        reply = statusCode();
    else if (command == Wire::ReadInputMode)
        reply = QByteArray::number(m_input);
    else if (command == Wire::ReadLampTime)
        reply = QByteArray::number(hoursSince(m_litMs, m_setup.lampHours)).rightJustified(5, '0');
    else if (command == Wire::ReadSetting)
        reply = settingCode();
    else if (command == Wire::ReadTemperature)
        reply = temperatures();
    else if (command == "CR7")
        reply = lampModeDigit();
    else if (command.startsWith(ReadPrefix)) {
        const QByteArray value = expandRead(command.mid(ReadPrefix.size()));
        if (value.isEmpty())
            return ErrorAnswer;
        reply = ReadAnswerPrefix + value;
    }
    if (!reply.isEmpty())
        return reply + Wire::Cr;

    if (command.startsWith(ExpandPrefix)) {
        const QByteArray words = command.mid(ExpandPrefix.size());
        const qsizetype space = words.indexOf(' ');
        expandCommand(words.left(space), space < 0 ? QByteArray() : words.mid(space + 1));
    } else {
        basicCommand(command);
    }
    return AckAnswer;
}

void Projector::advanceTo(qint64 nowMs)
{
    while ((m_power == Power::CountDown || m_power == Power::Cooling) && m_stateEndsMs <= nowMs) {
        runUntil(m_stateEndsMs);
        if (m_power == Power::Cooling)
            enter(Power::Standby, m_stateEndsMs);
        else if (m_setup.lampFailure || m_setup.overTemperature)
            enter(Power::Cooling, m_stateEndsMs); // the lamp did not strike, or it is too hot
        else
            enter(Power::On, m_stateEndsMs);
    }
    runUntil(nowMs);
}

void Projector::runUntil(qint64 ms)
{
    if (ms <= m_nowMs)
        return; // a clock never runs backwards here
    if (lampLit())
        m_litMs += ms - m_nowMs;
    if (m_power != Power::Standby)
        m_runMs += ms - m_nowMs;
    m_nowMs = ms;
}

void Projector::enter(Power power, qint64 atMs)
{
    m_power = power;
    m_stateEndsMs = atMs;
    if (power == Power::CountDown)
        m_stateEndsMs += m_setup.countdownMs;
    else if (power == Power::Cooling)
        m_stateEndsMs += m_setup.coolingMs;
}

bool Projector::lampLit() const
{
    return (m_power == Power::CountDown || m_power == Power::On) && !m_setup.lampFailure;
}

int Projector::hoursSince(qint64 ms, int baseHours) const
{
    return int(qMin<qint64>(MaxHours, baseHours + ms / m_setup.msPerLampHour));
}

QByteArray Projector::statusCode() const
{
    for (const StatusRow &row : StatusCodes) {
        if (row.power == m_power)
            return m_setup.overTemperature ? row.overTemperature
                : m_setup.lampFailure      ? row.lampFailure
                                           : row.plain;
    }
    return {};
}

QByteArray Projector::settingCode() const
{
    const bool ceiling = m_values.value("CEIL") == "ON";
    const bool rear = m_values.value("REAR") == "ON";
    for (const SettingRow &row : SettingCodes) {
        if (row.ceiling == ceiling && row.rear == rear)
            return row.code;
    }
    return {};
}

QByteArray Projector::temperatures() const
{
    for (const TemperatureRow &row : Temperatures) {
        if (row.power == m_power)
            return m_setup.overTemperature ? row.overheated : row.normal;
    }
    return {};
}

QByteArray Projector::lampModeDigit() const
{
    const QByteArray setting = m_values.value("LAMPMODE");
    for (const LampModeRow &row : LampModes) {
        if (setting == row.setting)
            return QByteArray(1, row.digit);
    }
    return {};
}

QByteArray Projector::expandRead(const QByteArray &keyword) const
{
    const auto fiveDigits = [](int hours) {
        return QByteArray::number(hours).rightJustified(5, '0');
    };
    if (keyword == "STATUS")
        return statusCode();
    if (keyword == "TEMP")
        return temperatures();
    if (keyword == "LAMPSTS")
        return m_setup.lampFailure ? "1X" : lampLit() ? "1I" : "1O";
    if (keyword == "LAMPMODE") {
        const QByteArray setting = m_values.value("LAMPMODE");
        for (const LampModeRow &row : LampModes) {
            if (setting == row.setting)
                return row.word;
        }
        return {};
    }
    if (keyword == "LAMPH" || keyword == "LAMPCORRESPH")
        return fiveDigits(hoursSince(m_litMs, m_setup.lampHours));
    if (keyword == "PROJH")
        return fiveDigits(hoursSince(m_runMs, m_setup.lampHours + ProjectorHoursAheadOfLamp));
    if (keyword == "FILH")
        return fiveDigits(hoursSince(m_runMs - m_filterFromRunMs, m_filterBaseHours));
    if (keyword == "SIGNAL")
        return m_power == Power::On ? "ON" : "OFF";
    if (keyword == "INPUT")
        return QByteArray::number(m_input);
    if (keyword == "SOURCE")
        return m_sources.at(m_input - 1);
    if (keyword.size() == 7 && keyword.startsWith("SRCINP"))
        return m_sources.value(keyword.right(1).toInt() - 1);
    if (keyword.size() == 7 && keyword.startsWith("NMSLOT")) {
        const int input = keyword.right(1).toInt();
        return input >= 1 && input <= InputCount ? InputSources[input - 1].join(' ') : QByteArray();
    }
    return m_values.value(keyword);
}

void Projector::basicCommand(const QByteArray &command)
{
    for (const BasicRow &row : BasicEffects) {
        if (command != row.command)
            continue;
        switch (row.effect) {
        case Effect::PowerOn:
            if (m_power == Power::Standby)
                enter(Power::CountDown, m_nowMs);
            break;
        case Effect::PowerOff:
            if (m_power == Power::On || m_power == Power::CountDown)
                enter(Power::Cooling, m_nowMs);
            break;
        case Effect::Input:
            selectInput(QByteArray(row.keyword).toInt(), row.value);
            break;
        case Effect::Set:
            m_values.insert(row.keyword, row.value);
            break;
        case Effect::StepUp:
            step(row.keyword, 1);
            break;
        case Effect::StepDown:
            step(row.keyword, -1);
            break;
        }
        return;
    }
}

void Projector::expandCommand(const QByteArray &keyword, QByteArray argument)
{
    if (keyword == "POWER") {
        basicCommand(argument == "ON" ? "C00" : "C02");
    } else if (keyword == "INPUT") {
        if (isStep(argument))
            m_input = (m_input - 1 + (argument == "UP" ? 1 : InputCount - 1)) % InputCount + 1;
        else
            selectInput(argument.toInt(), {});
    } else if (keyword.size() == 6 && keyword.startsWith("INPUT")) {
        selectInput(keyword.right(1).toInt(), argument);
    } else if (keyword == "SOURCE") {
        const QByteArrayList &sources = InputSources[m_input - 1];
        if (isStep(argument)) {
            const qsizetype at = sources.indexOf(m_sources.at(m_input - 1));
            const qsizetype next
                = (at + (argument == "UP" ? 1 : sources.size() - 1)) % sources.size();
            m_sources[m_input - 1] = sources.at(next);
        } else {
            selectSource(argument);
        }
    } else if (keyword == "FILH") {
        m_filterFromRunMs = m_runMs;
        m_filterBaseHours = 0;
    } else if (!ActionKeywords.contains(keyword)) {
        argument = withoutPin(argument);
        if (isStep(argument))
            step(keyword, argument == "UP" ? 1 : -1);
        else if (!argument.endsWith(" UP") && !argument.endsWith(" DN"))
            m_values.insert(keyword, argument);
    }
}

void Projector::selectInput(int input, const QByteArray &source)
{
    if (input < 1 || input > InputCount)
        return;
    m_input = input;
    if (!source.isEmpty())
        m_sources[input - 1] = source;
}

void Projector::selectSource(const QByteArray &source)
{
    // Stay on the present input when it carries the source, else go to the first that does.
    if (InputSources[m_input - 1].contains(source)) {
        m_sources[m_input - 1] = source;
        return;
    }
    for (int input = 1; input <= InputCount; ++input) {
        if (InputSources[input - 1].contains(source)) {
            selectInput(input, source);
            return;
        }
    }
}

void Projector::step(const QByteArray &keyword, int direction)
{
    const QByteArray field = commandIndex().numberFields.value(keyword);
    if (!field.isEmpty()) {
        // "0%%" runs from 000 to 099: fixed digits stay, placeholders go from 0 to 9.
        QByteArray lowest = field, highest = field;
        lowest.replace('%', '0');
        highest.replace('%', '9');
        const int value = qBound(
            lowest.toInt(), m_values.value(keyword, lowest).toInt() + direction, highest.toInt());
        m_values.insert(keyword, QByteArray::number(value).rightJustified(field.size(), '0'));
        return;
    }
    const QByteArrayList words = commandIndex().words.value(keyword);
    if (words.isEmpty())
        return;
    const qsizetype at = words.indexOf(m_values.value(keyword));
    const qsizetype count = words.size();
    const qsizetype next
        = at < 0 ? (direction > 0 ? 0 : count - 1) : (at + count + direction) % count;
    m_values.insert(keyword, words.at(next));
}
