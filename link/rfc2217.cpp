#include "rfc2217.h"

namespace {

constexpr quint8 ParityNone = 1;
constexpr quint8 StopBitsOne = 1;
constexpr quint8 DataBitsEight = 8;

bool agreed(quint8 option)
{
    return option == Rfc2217Codec::Binary || option == Rfc2217Codec::SuppressGoAhead
        || option == Rfc2217Codec::ComPort;
}

void appendCommand(QByteArray &out, quint8 verb, quint8 option)
{
    out.append(char(Rfc2217Codec::Iac));
    out.append(char(verb));
    out.append(char(option));
}

void appendComPort(QByteArray &out, quint8 command, const QByteArray &value)
{
    out.append(char(Rfc2217Codec::Iac));
    out.append(char(Rfc2217Codec::Sb));
    out.append(char(Rfc2217Codec::ComPort));
    out.append(char(command));
    out.append(Rfc2217Codec::escape(value));
    out.append(char(Rfc2217Codec::Iac));
    out.append(char(Rfc2217Codec::Se));
}

} // namespace

QByteArray Rfc2217Codec::opening(qint32 baudRate)
{
    QByteArray out;
    appendCommand(out, Will, Binary);
    appendCommand(out, Do, Binary);
    appendCommand(out, Will, SuppressGoAhead);
    appendCommand(out, Do, SuppressGoAhead);
    appendCommand(out, Will, ComPort);
    const quint32 baud = quint32(baudRate);
    const char bigEndian[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    appendComPort(out, SetBaudRate, QByteArray(bigEndian, 4));
    appendComPort(out, SetDataSize, QByteArray(1, char(DataBitsEight)));
    appendComPort(out, SetParity, QByteArray(1, char(ParityNone)));
    appendComPort(out, SetStopSize, QByteArray(1, char(StopBitsOne)));
    // Modem lines and flow control stay as the server has them: some servers refuse them.
    return out;
}

QByteArray Rfc2217Codec::escape(const QByteArray &data)
{
    if (!data.contains(char(Iac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char byte : data) {
        out.append(byte);
        if (quint8(byte) == Iac)
            out.append(byte);
    }
    return out;
}

void Rfc2217Codec::reset()
{
    m_parse = Parse::Data;
    m_verb = 0;
    m_subOption = 0;
    m_sub.clear();
    m_ours.fill(Side::Off);
    m_theirs.fill(Side::Off);
    m_ours[Binary] = m_ours[SuppressGoAhead] = m_ours[ComPort] = Side::Asked;
    m_theirs[Binary] = m_theirs[SuppressGoAhead] = Side::Asked;
}

Rfc2217Codec::Result Rfc2217Codec::feed(const QByteArray &bytes)
{
    Result result;
    result.data.reserve(bytes.size());
    for (const char c : bytes) {
        const quint8 byte = quint8(c);
        switch (m_parse) {
        case Parse::Data:
            if (byte == Iac)
                m_parse = Parse::Command;
            else
                result.data.append(c);
            break;
        case Parse::Command:
            command(byte, result);
            break;
        case Parse::Option:
            m_parse = Parse::Data;
            negotiate(m_verb, byte, result);
            break;
        case Parse::SubOption:
            m_subOption = byte;
            m_sub.clear();
            m_parse = Parse::SubData;
            break;
        case Parse::SubData:
            if (byte == Iac)
                m_parse = Parse::SubCommand;
            else if (m_sub.size() < MaxSubNegotiation)
                m_sub.append(c);
            break;
        case Parse::SubCommand:
            if (byte == Iac) {
                if (m_sub.size() < MaxSubNegotiation)
                    m_sub.append(c);
                m_parse = Parse::SubData;
            } else {
                endSubNegotiation(result);
                // A lost SE: the sub-negotiation ends here and the byte is a command.
                if (byte != Se)
                    command(byte, result);
            }
            break;
        }
    }
    return result;
}

void Rfc2217Codec::command(quint8 byte, Result &result)
{
    m_parse = Parse::Data;
    switch (byte) {
    case Iac:
        result.data.append(char(Iac));
        break;
    case Will:
    case Wont:
    case Do:
    case Dont:
        m_verb = byte;
        m_parse = Parse::Option;
        break;
    case Sb:
        m_parse = Parse::SubOption;
        break;
    default:
        break; // NOP, GA, and the other one-byte commands carry nothing for us
    }
}

void Rfc2217Codec::negotiate(quint8 verb, quint8 option, Result &result)
{
    const bool asksUs = verb == Do || verb == Dont;
    Side &side = asksUs ? m_ours[option] : m_theirs[option];
    const quint8 yes = asksUs ? Will : Do;
    const quint8 no = asksUs ? Wont : Dont;

    if (verb == Do || verb == Will) {
        if (agreed(option)) {
            if (side != Side::On && side != Side::Asked)
                appendCommand(result.reply, yes, option);
            side = Side::On;
        } else if (side != Side::Refused) {
            appendCommand(result.reply, no, option);
            side = Side::Refused;
        }
        return;
    }

    if (option == ComPort)
        result.comPortRefused = true;
    // An answer to our own request needs none back; leaving a mode that was on does.
    if (side == Side::On)
        appendCommand(result.reply, no, option);
    if (side != Side::Refused)
        side = Side::Off;
}

void Rfc2217Codec::endSubNegotiation(Result &result)
{
    m_parse = Parse::Data;
    if (m_subOption != ComPort || m_sub.size() != 5
        || quint8(m_sub.at(0)) != ServerOffset + SetBaudRate)
        return; // line and modem notifications, and anything else, are not data
    const auto at = [this](int i) {
        return quint32(quint8(m_sub.at(i)));
    };
    result.baudRate = qint32(at(1) << 24 | at(2) << 16 | at(3) << 8 | at(4));
}
