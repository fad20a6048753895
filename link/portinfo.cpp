#include "portinfo.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace PortInfo {

namespace {

const Device *findDevice(const QVector<Device> &all, const QString &path)
{
#ifdef Q_OS_WIN
    // "COM23" and "\\.\COM23" name the same port, in any case.
    QString name = path;
    if (name.startsWith(QLatin1String("\\\\.\\")))
        name.remove(0, 4);
    for (const Device &device : all) {
        if (device.path.compare(name, Qt::CaseInsensitive) == 0)
            return &device;
    }
#else
    for (const Device &device : all) {
        if (device.path == path)
            return &device;
    }
#endif
    return nullptr;
}

} // namespace

QString maker(const Device &device)
{
    QStringList parts;
    if (!device.manufacturer.isEmpty())
        parts << device.manufacturer;
    if (!device.description.isEmpty() && device.description != device.manufacturer)
        parts << device.description;
    QString text = parts.join(QLatin1Char(' '));
    if (!device.serialNumber.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("serial ")
            + device.serialNumber;
    return text;
}

QVector<Device> devices()
{
    QHash<QString, QString> byId;
#ifndef Q_OS_WIN
    const QDir folder(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files))
        byId.insert(link.canonicalFilePath(), link.absoluteFilePath());
#endif
    QVector<Device> found;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        Device device;
#ifdef Q_OS_WIN
        device.path = info.portName(); // COM23, as a map entry names it
#else
        device.path = info.systemLocation();
#endif
        device.byId = byId.value(QFileInfo(device.path).canonicalFilePath());
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        device.serialNumber = info.serialNumber();
        found << device;
    }
    return found;
}

QString describe(int portNumber)
{
    const PortTarget target = PortMap::resolve(portNumber);
    switch (target.kind) {
    case PortTarget::Kind::Unusable:
        return QStringLiteral("unusable entry: %1").arg(target.problem);
    case PortTarget::Kind::Tcp:
    case PortTarget::Kind::Rfc2217:
        return target.text();
    case PortTarget::Kind::Device:
        break;
    }
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(target.device))
        return QStringLiteral("%1 (not present)").arg(target.device);
#endif
    const QVector<Device> all = devices();
    const Device *device = findDevice(all, target.device);
#ifdef Q_OS_WIN
    if (!device)
        return QStringLiteral("%1 (not present)").arg(target.device);
#endif
    const QString made = device ? maker(*device) : QString();
    return made.isEmpty() ? target.device : QStringLiteral("%1 (%2)").arg(target.device, made);
}

Report probe(int portNumber)
{
    Report report;
    report.number = portNumber;
    report.target = PortMap::resolve(portNumber);
    switch (report.target.kind) {
    case PortTarget::Kind::Unusable:
        report.state = State::Unusable;
        report.detail = report.target.problem;
        return report;
    case PortTarget::Kind::Tcp:
    case PortTarget::Kind::Rfc2217:
        report.state = State::Network;
        return report;
    case PortTarget::Kind::Device:
        break;
    }
    const QString path = report.target.device;
    const QVector<Device> all = devices();
    const Device *device = findDevice(all, path);
    if (device)
        report.detail = maker(*device);
#ifdef Q_OS_WIN
    // Some drivers (Bluetooth ports among them) take many seconds to open or to close a port,
    // and Wine's may not return at all: the system's list is all that is asked.
    report.state = device ? State::Present : State::Absent;
    return report;
#else
    const QFileInfo file(path);
    if (!file.exists()) {
        report.state = State::Absent;
        return report;
    }
    if (!file.isReadable() || !file.isWritable()) {
        report.state = State::PermissionDenied;
        return report;
    }
    QSerialPort trial(path);
    if (trial.open(QIODevice::ReadWrite)) {
        trial.close();
        report.state = State::Free;
        return report;
    }
    if (trial.error() == QSerialPort::DeviceNotFoundError) {
        report.state = State::Absent;
        return report;
    }
    report.state = State::Held;
    if (!heldElsewhere(trial.error(), path))
        report.detail = trial.errorString();
    return report;
#endif
}

bool heldElsewhere(QSerialPort::SerialPortError error, const QString &path)
{
    if (error != QSerialPort::PermissionError)
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(path)
    return true; // a COM port is opened exclusively
#else
    // Refused by the device's own permissions, no other program need hold it.
    const QFileInfo file(path);
    return file.isReadable() && file.isWritable();
#endif
}

QString heldText()
{
    return QStringLiteral("held by another program");
}

QString stateText(State state)
{
    switch (state) {
    case State::Free:
        return QStringLiteral("present, free");
    case State::Present:
        return QStringLiteral("present");
    case State::Held:
        return QStringLiteral("present, ") + heldText();
    case State::PermissionDenied:
        return QStringLiteral("present, permission denied");
    case State::Absent:
        return QStringLiteral("not present");
    case State::Network:
        return QStringLiteral("network, not probed");
    case State::Unusable:
        return QStringLiteral("unusable");
    }
    return {};
}

} // namespace PortInfo
