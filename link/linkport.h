#pragma once

#include "link/capture.h"
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

    // Records in the capture file at `path` every chunk as it is handed to the port or taken
    // from it, and every open, close, loss and failed open. An open for another port, target or
    // speed than the last begins a new capture (a header of its own) in the same file; a reopen
    // of the same line goes on in the one there is. `program` and `version` head each capture.
    // The file is open already (Writer::openFile): a program finds out at start that it cannot
    // record, before any port is opened.
    void record(std::unique_ptr<Capture::Writer> capture, const QString &program,
                const QString &version);
    // How headers name the port (a fleet name); by default as chosen: COMn or the target.
    void setRecordedName(const QString &name) { m_recordedName = name; }
    // Why the recording stopped (the file could not be written); empty while it goes on.
    QString recordError() const { return m_recordError; }

private:
    // Starts a new capture when the header would differ from the current one.
    void beginCapture(const QString &target);
    // Keeps the first failure and stops recording there.
    void recorded(bool written);
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
    std::unique_ptr<Capture::Writer> m_capture;
    Capture::Header m_recording;
    QString m_recordedName;
    QString m_recordError;
};
