#pragma once

#include "link/portmap.h"
#include "link/serialport.h"

#include <memory>
#include <optional>

class PortFactory;

// The program's port (MSComm1). At every open it looks its number up in the port map and asks the
// factory for the port the entry stands for (kept while the entry stays the same), then passes
// everything through to it.
class LinkPort : public SerialPort
{
    Q_OBJECT
public:
    explicit LinkPort(PortFactory &factory, QObject *parent = nullptr);
    ~LinkPort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override;
    void output(const QByteArray &text) override;
    QByteArray input() override;
    int commEvent() const override { return CommEventReceive; }
    // Why the last open failed, or why the port was lost; with the number and what it resolved to.
    QString lastError() const override { return m_lastError; }

    // What the port number stood for at the last open, as written in a map entry.
    QString target() const { return m_target; }

    // Opens this target from now on instead of looking the number up (orva's "-p tcp://...");
    // its messages then name the target alone.
    void setDirectTarget(const PortTarget &target);

private:
    bool refuse(const QString &target, const QString &reason);
    // "COM3 (/dev/ttyUSB0)", or the direct target.
    QString where(const QString &target) const;

    PortFactory &m_factory;
    std::unique_ptr<SerialPort> m_port;
    std::optional<PortTarget> m_direct;
    QString m_target;
    QString m_lastError;
};
