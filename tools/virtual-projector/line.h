#pragma once

#include "link/capture.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The projector's end of the line: a pseudo-terminal, a real port or a network control port.
class Line : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // Hands the bytes over at once; what the line cannot take now is lost, as on a real line.
    virtual void write(const QByteArray &bytes) = 0;
    // Bytes handed over that are not on the wire yet.
    virtual qint64 bytesToWrite() const { return 0; }
    // A UART sends at the line speed by itself; a pseudo-terminal passes bytes on at once.
    virtual bool pacesItself() const = 0;
    // The speed the other end has set, where it can be seen (0 when it cannot).
    virtual int peerBaud() const { return 0; }
    // Drops the line as a pulled cable would.
    virtual void hangUp() = 0;

    // Records every chunk where it meets the wire, in a capture begun already, with the
    // directions of the other end's captures: what comes in went "to the projector" (>), what
    // goes out came "from the projector" (<); and the line's opens, closes and losses.
    void record(Capture::Writer *capture)
    {
        m_capture = capture;
        connect(this, &Line::failed, this, [this](const QString &reason) {
            if (m_capture)
                m_capture->lost(reason);
        });
    }

signals:
    void received(const QByteArray &bytes);
    // The line went away on its own (device unplugged); it is closed now.
    void failed(const QString &reason);
    // Someone else is at the other end now (the next network client): what the last one left
    // half typed or unanswered is not theirs.
    void peerChanged();

protected:
    // Subclasses hand what they read through take() and what went out through wrote().
    void take(const QByteArray &bytes)
    {
        if (m_capture)
            m_capture->sent(bytes);
        emit received(bytes);
    }
    void wrote(QByteArrayView bytes)
    {
        if (m_capture)
            m_capture->received(bytes);
    }
    void recordOpened()
    {
        if (m_capture)
            m_capture->opened();
    }
    void recordClosed()
    {
        if (m_capture)
            m_capture->closed();
    }

private:
    Capture::Writer *m_capture = nullptr;
};
