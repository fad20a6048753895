#pragma once

#include "link/portmap.h"
#include "link/serialport.h"

#include <memory>

class PortFactory;

// The port the engine talks through. At every open it looks the chosen number up in the port map,
// or takes the chosen target as it is, and asks the factory for the port the target stands for
// (kept while the target stays the same), then passes everything through to it.
class LinkPort : public SerialPort
{
    Q_OBJECT
public:
    explicit LinkPort(PortFactory &factory, QObject *parent = nullptr);
    ~LinkPort() override;

    void startOpen() override;
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }
    // Why the last open failed, or why the port was lost; with the number and what it resolved to.
    QString lastError() const override { return m_lastError; }
    Failure failure() const override { return m_failure; }

    // What the port number stood for at the last open, as written in a map entry.
    QString target() const { return m_target; }

private:
    void refuse(const QString &target, const QString &reason, Failure failure);
    void finishOpening(bool opened);
    // "COM3 (/dev/ttyUSB0)", or the direct target.
    QString where(const QString &target) const;

    PortFactory &m_factory;
    std::unique_ptr<SerialPort> m_port;
    QString m_target;
    QString m_lastError;
    Failure m_failure = Failure::None;
    bool m_opening = false;
    bool m_waits = false;
};
