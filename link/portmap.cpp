#include "portmap.h"

#include "link/configdir.h"
#include "link/entryfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

namespace {

PortTarget unusable(const QString &problem)
{
    PortTarget target;
    target.problem = problem;
    return target;
}

PortTarget device(const QString &path)
{
    PortTarget target;
    target.kind = PortTarget::Kind::Device;
    // Open the device itself, so its lock file is the one other serial programs honour.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    target.device = canonical.isEmpty() ? path : canonical;
    return target;
}

bool isDevicePath(const QString &text)
{
#ifdef Q_OS_WIN
    static const QRegularExpression com(QStringLiteral("^(\\\\\\\\\\.\\\\)?COM[1-9][0-9]{0,2}$"),
                                        QRegularExpression::CaseInsensitiveOption);
    return com.match(text).hasMatch();
#else
    return text.startsWith(QLatin1Char('/'));
#endif
}

bool isHostName(const QString &host)
{
    static const QRegularExpression name(QStringLiteral(
        "^[A-Za-z0-9]([A-Za-z0-9-]{0,62})(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,62}))*\\.?$"));
    return host.size() <= 253 && name.match(host).hasMatch();
}

PortTarget network(PortTarget::Kind kind, const QString &address)
{
    // HOST:PORT, HOST a name, an IPv4 address or a bracketed IPv6 address.
    QString host;
    QString port;
    if (address.startsWith(QLatin1Char('['))) {
        const int close = address.indexOf(QLatin1Char(']'));
        if (close < 0 || address.mid(close + 1, 1) != QLatin1String(":"))
            return unusable(QStringLiteral("an IPv6 address is written [address]:port"));
        host = address.mid(1, close - 1);
        port = address.mid(close + 2);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return unusable(QStringLiteral("\"%1\" is not an IPv6 address").arg(host));
    } else {
        const int colon = address.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return unusable(QStringLiteral("the address has no port: write HOST:PORT"));
        host = address.left(colon);
        port = address.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return unusable(QStringLiteral("write an IPv6 address in brackets: [address]:port"));
        if (!isHostName(host))
            return unusable(QStringLiteral("\"%1\" is not a host name or address").arg(host));
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int number = digits.match(port).hasMatch() ? port.toInt() : 0;
    if (number < 1 || number > 65535)
        return unusable(QStringLiteral("\"%1\" is not a TCP port (1 to 65535)").arg(port));
    PortTarget target;
    target.kind = kind;
    target.host = host;
    target.port = quint16(number);
    return target;
}

PortMap::Change changed(PortMap::Change::Outcome outcome, const QString &message)
{
    PortMap::Change change;
    change.outcome = outcome;
    change.message = message;
    return change;
}

} // namespace

QString PortTarget::text() const
{
    switch (kind) {
    case Kind::Device:
        return device;
    case Kind::Tcp:
    case Kind::Rfc2217: {
        const QString shownHost
            = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
        return QStringLiteral("%1://%2:%3")
            .arg(kind == Kind::Tcp ? QStringLiteral("tcp") : QStringLiteral("rfc2217"), shownHost)
            .arg(port);
    }
    case Kind::Unusable:
        break;
    }
    return {};
}

namespace PortMap {

QString portsFolder()
{
    return ConfigDir::appFolder() + QStringLiteral("/ports");
}

QString entryPath(int portNumber)
{
    return portsFolder() + QStringLiteral("/COM%1").arg(portNumber);
}

PortTarget parse(const QString &text)
{
    const QString line = text.trimmed();
    if (line.isEmpty())
        return unusable(QStringLiteral("the entry is empty"));
    const int scheme = line.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const QString name = line.left(scheme).toLower();
        const QString address = line.mid(scheme + 3);
        if (name == QLatin1String("tcp"))
            return network(PortTarget::Kind::Tcp, address);
        if (name == QLatin1String("rfc2217"))
            return network(PortTarget::Kind::Rfc2217, address);
        return unusable(
            QStringLiteral("unknown scheme \"%1\": use tcp:// or rfc2217://").arg(name));
    }
    if (isDevicePath(line))
        return device(line);
    return unusable(QStringLiteral("\"%1\" is neither a device path nor a tcp:// or rfc2217:// "
                                   "address")
                        .arg(line));
}

bool hasEntry(int portNumber)
{
    return EntryFile::exists(entryPath(portNumber));
}

PortTarget resolve(int portNumber)
{
    const QString path = entryPath(portNumber);
    const QFileInfo entry(path);
    PortTarget target;
    if (entry.isSymLink()) {
        // An unplugged adapter leaves its link behind: that port is gone, not another one.
        const QString points = entry.symLinkTarget();
        target = QFileInfo::exists(points)
            ? device(points)
            : unusable(QStringLiteral("links to %1, which does not exist").arg(points));
    } else if (EntryFile::exists(path)) {
        const EntryFile::Read read = EntryFile::readFirstLine(path);
        target = read.ok ? parse(read.line) : unusable(read.problem);
    } else {
#ifdef Q_OS_WIN
        target = device(QStringLiteral("COM%1").arg(portNumber));
#else
        target = device(QStringLiteral("/dev/ttyS%1").arg(portNumber - 1));
#endif
        return target;
    }
    target.entry = path;
    return target;
}

Change map(int portNumber, const QString &targetText, bool replace)
{
    using Outcome = Change::Outcome;
    const PortTarget target = parse(targetText);
    if (target.kind == PortTarget::Kind::Unusable)
        return changed(Outcome::BadTarget,
                       QStringLiteral("cannot map COM%1 to \"%2\": %3")
                           .arg(portNumber)
                           .arg(targetText, target.problem));
    const QString path = entryPath(portNumber);
    if (hasEntry(portNumber)) {
        if (!replace)
            return changed(Outcome::Refused,
                           QStringLiteral("COM%1 is mapped already (%2); --force replaces it")
                               .arg(portNumber)
                               .arg(path));
        if (!EntryFile::remove(path))
            return changed(Outcome::Failed, QStringLiteral("cannot replace %1").arg(path));
    }
    if (!QDir().mkpath(portsFolder()))
        return changed(Outcome::Failed,
                       QStringLiteral("cannot make the ports folder %1").arg(portsFolder()));
    // A device as given, not as parse() made it canonical.
    const QString line
        = target.kind == PortTarget::Kind::Device ? targetText.trimmed() : target.text();
    bool written = false;
    QString error;
#ifndef Q_OS_WIN
    if (target.kind == PortTarget::Kind::Device)
        written = QFile::link(line, path);
    else
#endif
        written = EntryFile::write(path, line.toUtf8() + '\n', &error);
    if (!written)
        return changed(Outcome::Failed,
                       QStringLiteral("cannot write %1%2")
                           .arg(path, error.isEmpty() ? QString() : QStringLiteral(": ") + error));
    Change change = changed(Outcome::Done, QStringLiteral("COM%1 -> %2").arg(portNumber).arg(line));
#ifndef Q_OS_WIN
    // Mapped all the same: the adapter may be unplugged now.
    if (target.kind == PortTarget::Kind::Device && !QFileInfo::exists(line))
        change.warning = QStringLiteral("%1 does not exist now; COM%2 will use it once it does")
                             .arg(line)
                             .arg(portNumber);
#endif
    return change;
}

Change unmap(int portNumber)
{
    using Outcome = Change::Outcome;
    const QString path = entryPath(portNumber);
    if (!hasEntry(portNumber))
        return changed(Outcome::Refused, QStringLiteral("COM%1 is not mapped").arg(portNumber));
    if (!EntryFile::remove(path))
        return changed(Outcome::Failed, QStringLiteral("cannot remove %1").arg(path));
    return changed(Outcome::Done, QStringLiteral("COM%1 unmapped").arg(portNumber));
}

} // namespace PortMap
