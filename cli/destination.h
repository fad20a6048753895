#pragma once

#include <QSaveFile>
#include <QString>

// Where the results go: standard output, or --output FILE, which another program reads while
// orva runs (node_exporter's textfile collector). FILE is written whole beside itself, synced and
// renamed over the old one; any step that fails leaves the old file exactly as it was.
class Destination
{
public:
    explicit Destination(const QString &path); // empty: standard output

    // Before any port is touched: FILE must be a regular file or not exist yet, and its folder
    // must take a new file. False with the reason.
    bool open(QString *error);
    // What the file holds now, before it is replaced; empty for standard output.
    QByteArray current() const;
    // Writes everything and puts it in place; false with the reason, and then nothing changed.
    bool write(const QByteArray &bytes, QString *error);

private:
    QString failure(const QString &what) const;

    QString m_path;
    QSaveFile m_file;
};
