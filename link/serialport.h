#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The line settings a port is opened with, parsed in one place from the settings text
// ("9600,N,8,1").
struct LineSettings
{
    qint32 baud = 9600;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;

    // Fields that cannot be read keep these defaults; the program only writes 9600 or 19200, 8N1.
    static LineSettings parse(const QString &settings);
};

// The one serial port of the panel, with the members the rest of the program relies on.
// Received characters are reported on the thread that owns the port.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int CommEventReceive = 2;

    using QObject::QObject;

    void setSettings(const QString &settings) { m_settings = settings; }
    QString settings() const { return m_settings; }
    LineSettings lineSettings() const { return LineSettings::parse(m_settings); }
    void setCommPort(int portNumber) { m_commPort = portNumber; }
    int commPort() const { return m_commPort; }

    // Opens with the current settings and port; false when the port cannot be opened.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes the whole text at once; writes nothing when the port is not open.
    virtual void output(const QByteArray &text) = 0;
    // Takes every character waiting.
    virtual QByteArray input() = 0;
    virtual int commEvent() const = 0;
    // Why the last open failed or the port was lost, for the log; empty when nothing failed.
    virtual QString lastError() const { return {}; }

signals:
    // Raised whenever received characters are waiting, however few.
    void onComm();
    // The port failed while open (device gone) and has been closed; raised once per opening.
    void lost();
    // An open that may take a while (a network connect) begins (true) or ends (false).
    void opening(bool busy);

private:
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_commPort = 1;
};
