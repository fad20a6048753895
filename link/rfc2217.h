#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <optional>

// The client side of a telnet link with the COM-PORT-OPTION (RFC 2217), as bytes only: what goes
// on the wire is built here, what comes off it is taken apart here, and the socket is elsewhere.
class Rfc2217Codec
{
public:
    enum Byte : quint8 {
        Se = 240,
        Nop = 241,
        Ga = 249,
        Sb = 250,
        Will = 251,
        Wont = 252,
        Do = 253,
        Dont = 254,
        Iac = 255,
    };
    enum Option : quint8 {
        Binary = 0,
        Echo = 1,
        SuppressGoAhead = 3,
        ComPort = 44,
    };
    // Client commands of the COM-PORT-OPTION; the server answers with the same code plus 100.
    enum ComPortCommand : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        ServerOffset = 100,
        NotifyLineState = 106,
        NotifyModemState = 107,
    };

    struct Result
    {
        QByteArray data; // the device's bytes, exactly as sent
        QByteArray reply; // to be written back to the server, as it is
        std::optional<qint32> baudRate; // the server's last answer to SET-BAUDRATE in these bytes
        bool comPortRefused = false;
    };

    // The negotiation and line settings (8 data bits, no parity, 1 stop bit) a client sends first.
    static QByteArray opening(qint32 baudRate);
    // Data bytes as they go on the wire.
    static QByteArray escape(const QByteArray &data);

    // A fresh codec takes it that opening() has just gone out.
    Rfc2217Codec() { reset(); }
    void reset();
    // Any piece of the stream, split anywhere.
    Result feed(const QByteArray &bytes);

private:
    enum class Parse { Data, Command, Option, SubOption, SubData, SubCommand };
    // Where each side of an option stands, so that no answer is ever repeated into a loop.
    enum class Side : quint8 { Off, Asked, On, Refused };

    void command(quint8 byte, Result &result);
    void negotiate(quint8 verb, quint8 option, Result &result);
    void endSubNegotiation(Result &result);

    static constexpr int MaxSubNegotiation = 64; // longer ones are consumed but not kept

    Parse m_parse = Parse::Data;
    quint8 m_verb = 0;
    quint8 m_subOption = 0;
    QByteArray m_sub;
    std::array<Side, 256> m_ours {}; // what we do (WILL/WONT)
    std::array<Side, 256> m_theirs {}; // what the server does (DO/DONT)
};
