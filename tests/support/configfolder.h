#pragma once

#include "link/configdir.h"
#include "link/portmap.h"

#include <QDir>

#include <QFile>
#include <QTemporaryDir>

// A settings folder of the test's own, set as XDG_CONFIG_HOME while it lives.
class ConfigFolder
{
public:
    ConfigFolder()
        : m_previous(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    }
    ~ConfigFolder() { qputenv("XDG_CONFIG_HOME", m_previous); }

    QString settingsFile() const { return ConfigDir::appFolder() + QStringLiteral("/ORVA.conf"); }
    // Writes the settings file as a user or an older version might have left it.
    void writeSettingsFile(const QByteArray &contents) const
    {
        QDir().mkpath(ConfigDir::appFolder());
        QFile file(settingsFile());
        file.open(QIODevice::WriteOnly);
        file.write(contents);
    }
    // Writes the ports-folder entry COMn, as a user or orva map would.
    static void mapEntry(int portNumber, const QByteArray &contents)
    {
        QDir().mkpath(PortMap::portsFolder());
        QFile file(PortMap::entryPath(portNumber));
        file.open(QIODevice::WriteOnly);
        file.write(contents);
    }
    QByteArray settingsFileContents() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};
