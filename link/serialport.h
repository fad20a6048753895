#pragma once

#include "link/portchoice.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// A port to a projector: a serial device, a device server on the network, or the port that picks
// one of these by the port map. Received characters are reported on the thread that owns it.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int CommEventReceive = 2;

    // Why an open failed or an open port went away, in words a monitoring label can carry.
    enum class Failure { None, Unusable, Absent, Permission, Busy, Refused, Unreachable, Lost };
    static QString failureText(Failure failure);

    using QObject::QObject;

    // The port and speed the next open uses.
    void setChoice(const PortChoice &choice) { m_choice = choice; }
    const PortChoice &choice() const { return m_choice; }
    LineSettings lineSettings() const { return m_choice.lineSettings(); }

    // Opens with the current choice. openFinished follows once: before this returns for a device,
    // within a bounded wait for a network port. A port that is open already reports false; a
    // start while one is under way is ignored, as it ends with the one under way.
    virtual void startOpen() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes the whole text at once; writes nothing when the port is not open.
    virtual void output(const QByteArray &text) = 0;
    // Takes every character waiting.
    virtual QByteArray input() = 0;
    virtual int commEvent() const = 0;
    // Why the last open failed or the port was lost, for the log; empty when nothing failed.
    virtual QString lastError() const { return {}; }
    // The kind of that failure.
    virtual Failure failure() const { return Failure::None; }

signals:
    void openFinished(bool opened);
    // Raised whenever received characters are waiting, however few.
    void onComm();
    // The port failed while open (device gone) and has been closed; raised once per opening.
    void lost();
    // An open that may take a while (a network connect) begins (true) or ends (false).
    void opening(bool busy);

private:
    PortChoice m_choice {PortChoice::LowestPortNumber, PortChoice::Baud9600Code};
};
