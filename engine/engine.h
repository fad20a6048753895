#pragma once

#include "link/portchoice.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

class SerialPort;
class Timer;
class TimerFactory;

// Intervals of the repeat, the reply window and the display clear, by the moment they are set.
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

// The transaction engine: every command goes out through it, every received character comes
// back through it, and the three output lines and three legends reflect its state. Callers say
// what they want and read its state through the views below; none of them writes it.
class Engine : public QObject
{
    Q_OBJECT
public:
    // The receive loop was sized for 16-bit counts; anything beyond is dropped.
    static constexpr int MaxReceivedChars = 32767;
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

    // What a reply window saw, taken as it ends, before it empties the buffer.
    struct Reply
    {
        QByteArray received; // as received, since the send
        QString rxd; // the RxD line then: the echo, or " X X X X" when nothing came
        QString status;
    };

    // The three timers as they stand.
    struct Timing
    {
        int repeatMs = 0;
        bool repeating = false;
        int replyWindowMs = 0;
        bool replyWindowOpen = false;
        int displayClearMs = 0;
        bool displayClearPending = false;
    };

    Engine(SerialPort *port, TimerFactory &timers, QObject *parent = nullptr);

    // Line settings, then the open; openFinished follows, before this returns for a device and
    // within the port's bounded wait for a network port.
    void startOpen(const PortChoice &choice);
    // The panel's open, which looks synchronous to the technician: startOpen, then a wait for
    // its end that takes no user input, so the windows repaint and clicks wait. False when the
    // port did not open. Nothing else waits like this: orva's sessions use startOpen.
    bool open(const PortChoice &choice);
    // Ends a hold first.
    void close();
    // A button or orva: frames the command, makes it the one the decoders read for, sends it,
    // echoes it and opens the reply window.
    void send(const QByteArray &command);
    // The console: the frame goes out as typed, and the decoders keep reading for the last
    // command the panel sent.
    void sendAsTyped(const QByteArray &frame);
    // A hold button with repeat index 1..22 pressed, sending `command` (without CR) at once and
    // then its repeat every 100 ms until released.
    void press(int repeatIndex, const QByteArray &command);
    void release();
    // A release that will never arrive (window deactivated, port gone) ends the hold too.
    void endHold();
    // Blanks the three lines, as the display clear does when it runs out.
    void clear();
    // The transaction state a fresh start begins with; the timers are left as they are.
    void reset();
    void setIntervals(int replyWindowMs, int displayClearMs);
    // Index 1..22: the command text (without CR) that each repeat sends.
    void setRepeatTable(QVector<QByteArray> commands);

    const Display &display() const { return m_display; }
    // The choice of the last open, whether it opened or not.
    PortChoice choice() const { return m_choice; }
    bool isOpen() const;
    bool isHolding() const { return m_holding; }
    bool isAwaitingReply() const { return m_awaitingReply; }
    int repeatIndex() const { return m_repeatIndex; }
    // The last command a button sent, with its CR: what the decoders read the reply for.
    QByteArray currentCommand() const { return m_currentCommand; }
    // What came since the send, at most MaxReceivedChars.
    QByteArray received() const { return m_received; }
    Timing timing() const;

signals:
    void openFinished(bool opened);
    void displayChanged();
    void portOpenChanged(bool open);
    void replyEnded(const Engine::Reply &reply);
    // An open that may take a while (a network connect) begins (true) or ends (false).
    void opening(bool busy);

private slots:
    void receive();
    void repeat();
    void endReplyWindow();

private:
    void transmit(const QByteArray &frame);
    void showReceived();
    void startHold();
    void stopHold();
    void addLegends(unsigned legends);
    // Anything on the RxD line but the echo of the received characters.
    void setRxdOther(const QString &text);

    SerialPort *const m_port;
    Timer *const m_repeatTimer;
    Timer *const m_replyWindow;
    Timer *const m_displayClear;

    PortChoice m_choice;
    QByteArray m_currentCommand;
    QByteArray m_received;
    bool m_awaitingReply = false;
    int m_repeatIndex = 0;
    bool m_holding = false;
    Display m_display;
    bool m_rxdShowsReceived = false;
    QVector<QByteArray> m_repeatTable;
};
Q_DECLARE_METATYPE(Engine::Reply)
