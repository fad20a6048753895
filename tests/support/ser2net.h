#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

// ser2net (4.x) in the foreground in front of one serial device, with a config of its own: a
// telnet/RFC 2217 accepter and a raw TCP one, both on 127.0.0.1.
class Ser2net
{
public:
    // What ser2net does with characters from the device before it sends them on.
    enum class Batching {
        Default, // waits two characters' time (at least 1 ms) for more; Nagle on its socket
        Off, // "chardelay: false" and TCP_NODELAY: every read from the device goes out at once
    };

    explicit Ser2net(const QString &device, const QByteArray &lineDefaults = "38400n81",
                     Batching batching = Batching::Default)
    {
        // Free ports now; ser2net binds them with SO_REUSEADDR, so a restart gets them back.
        QTcpServer telnet;
        QTcpServer raw;
        telnet.listen(QHostAddress::LocalHost, 0);
        raw.listen(QHostAddress::LocalHost, 0);
        telnetPort = telnet.serverPort();
        rawPort = raw.serverPort();
        QFile config(configPath());
        config.open(QIODevice::WriteOnly);
        // "local": a pseudo-terminal has no modem lines to watch.
        const bool unbatched = batching == Batching::Off;
        config.write("connection: &projector\n"
                     "  accepter: telnet(rfc2217),"
                     + QByteArray(unbatched ? "tcp(nodelay)" : "tcp") + ",127.0.0.1,"
                     + QByteArray::number(telnetPort) + "\n  connector: serialdev,"
                     + device.toLocal8Bit() + "," + lineDefaults + ",local\n"
                     + QByteArray(unbatched ? "  options:\n    chardelay: false\n" : "")
                     + "connection: &projectorraw\n  accepter: tcp,127.0.0.1,"
                     + QByteArray::number(rawPort) + "\n  connector: serialdev,"
                     + device.toLocal8Bit() + "," + lineDefaults + ",local\n");
    }
    ~Ser2net() { stop(); }
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    static QString program()
    {
        QString path = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (path.isEmpty()) // root's tools are not on everyone's PATH
            path = QStandardPaths::findExecutable(
                QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        return path;
    }

    QStringList arguments() const
    {
        // -n: foreground; -d: its messages into our log; -u: no UUCP lock files left behind.
        return {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                QStringLiteral("-c"), configPath()};
    }

    // Starts it and waits until both accepters listen.
    bool start()
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(logPath(), QIODevice::Append);
        process.start(program(), arguments());
        if (!process.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (listening(telnetPort) && listening(rawPort))
                return true;
            if (process.waitForFinished(20))
                return false;
        }
        return false;
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QByteArray log() const
    {
        QFile file(logPath());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    QString configPath() const { return m_dir.filePath(QStringLiteral("ser2net.yaml")); }
    QString logPath() const { return m_dir.filePath(QStringLiteral("ser2net.log")); }

    quint16 telnetPort = 0;
    quint16 rawPort = 0;
    QProcess process;

private:
    // A listening socket on the port, from the kernel's table, without connecting to it: a probe
    // connection would take the device for a moment.
    static bool listening(quint16 port)
    {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray wanted
            = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        table.readLine();
        while (!table.atEnd()) {
            const QList<QByteArray> fields = table.readLine().simplified().split(' ');
            if (fields.size() > 3 && fields.at(1).endsWith(wanted) && fields.at(3) == "0A")
                return true;
        }
        return false;
    }

    QTemporaryDir m_dir;
};
