#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

class SerialPort;
class Timer;
class TimerFactory;

// Intervals of the reply window (Timer2) and the display clear (Timer4), by the moment they are
// set.
namespace Intervals {
constexpr int RepeatMs = 100;
constexpr int InitialRepeatMs = 200;
constexpr int InitialReplyWindowMs = 5500;
constexpr int InitialDisplayClearMs = 6000;
constexpr int ReplyWindowMs = 1000;
constexpr int DisplayClearMs = 1200;
constexpr int HoldReplyWindowMs = 150;
constexpr int HoldDisplayClearMs = 200;
constexpr int AfterHoldReplyWindowMs = 500;
constexpr int AfterHoldDisplayClearMs = 1000;
constexpr int ConsoleReplyWindowMs = 5000;
constexpr int ConsoleDisplayClearMs = 5500;
} // namespace Intervals

// The transaction engine: every command goes out through Hyouji, every received character comes
// back through it, and the three output lines and three legends reflect its state.
class Engine : public QObject
{
    Q_OBJECT
public:
    static constexpr quint8 SendMode = 1;
    static constexpr quint8 ReceiveMode = 2;
    // The engine's character loop was sized for 16-bit counts; anything beyond is dropped.
    static constexpr int MaxRxBufferChars = 32767;
    static constexpr int RepeatTableSize = 22;

    struct Display
    {
        QString txd; // Label11
        QString rxd; // Label12, also the decoders' input
        QString status; // Label25
        bool spaceLegend = false; // Label27
        bool crLegend = false; // Label28
        bool ackLegend = false; // Label29
    };

    Engine(SerialPort *port, TimerFactory &timers, QObject *parent = nullptr);

    // Values shared by all windows.
    QByteArray CurrentCommand;
    qint16 ComPortNumber = 0;
    quint8 BaudCode = 0;
    qint16 SavedComPortNumber = 0;
    quint8 SavedBaudCode = 0;

    // Transaction state.
    QByteArray RxBuffer;
    quint8 AwaitingReply = 0;
    quint8 RepeatIndex = 0;
    qint16 HoldActive = 0;

    SerialPort *const MSComm1;
    Timer *const Timer1; // repeat
    Timer *const Timer2; // reply window
    Timer *const Timer4; // display clear

    const Display &display() const { return m_display; }

    void Hyouji(const QByteArray &text, quint8 mode);
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer4_Timer();

    // Index 1..22 and the command text (without CR) that each repeat sends.
    void setRepeatTable(const QVector<QByteArray> &commands);
    // Press of the hold button with repeat index `index`, sending `command` (without CR).
    void holdPressed(quint8 index, const QByteArray &command);
    void holdReleased();
    void Cont_M_down();
    void Cont_M_up();
    // A release that will never arrive (window deactivated, port gone) ends the hold too.
    void endHoldIfActive();

    void setIntervals(int replyWindowMs, int displayClearMs);

    // Settings, CommPort and open, in that order; false when the port did not open.
    bool openPort(qint16 portNumber, quint8 baudCode);
    void closePortIfOpen();

signals:
    void displayChanged();
    void portOpenChanged(bool open);

private:
    void showReceived(const QByteArray &text);
    void addLegends(unsigned legends);
    // Anything on the RxD line but the echo of RxBuffer.
    void setRxdOther(const QString &text);

    Display m_display;
    bool m_rxdShowsBuffer = false;
    QVector<QByteArray> m_repeatTable;
};
