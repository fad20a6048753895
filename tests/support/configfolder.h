#pragma once

#include "link/configdir.h"
#include "link/entryfile.h"
#include "link/portmap.h"

#include <QDir>

#include <QFile>
#include <QTemporaryDir>

// A settings folder of the test's own while it lives: XDG_CONFIG_HOME, and ORVA_CONFIG_HOME for
// Windows, where it also keeps the settings out of the registry.
class ConfigFolder
{
public:
    ConfigFolder()
        : m_previous {qgetenv(Variables[0]), qgetenv(Variables[1])}
    {
        for (const char *variable : Variables)
            qputenv(variable, m_dir.path().toLocal8Bit());
    }
    ~ConfigFolder()
    {
        // Windows' own file calls cannot remove entries named COM1 to COM9.
        for (int number = 1; number <= 15; ++number)
            EntryFile::remove(PortMap::entryPath(number));
        for (int i = 0; i < 2; ++i) {
            if (m_previous[i].isEmpty())
                qunsetenv(Variables[i]);
            else
                qputenv(Variables[i], m_previous[i]);
        }
    }

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
        QString error;
        EntryFile::write(PortMap::entryPath(portNumber), contents, &error);
    }
    // As text: Windows ends the lines with CR LF.
    QByteArray settingsFileContents() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray();
    }

private:
    static constexpr const char *Variables[] = {"XDG_CONFIG_HOME", "ORVA_CONFIG_HOME"};
    QTemporaryDir m_dir;
    QByteArray m_previous[2];
};
