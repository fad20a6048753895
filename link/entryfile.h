#pragma once

#include <QByteArray>
#include <QString>

// A ports-folder entry as a file on disk. Windows takes COM1 to COM9 as its own device names in
// any folder, so there an entry is reached through its \\?\ path, which takes every name as it
// is; elsewhere these are plain file operations. Links are the port map's business, not this.
namespace EntryFile {

// There is something at the path: a file, a folder, or (POSIX) a link, even a dangling one.
bool exists(const QString &path);

struct Read
{
    bool ok = false;
    QString line; // the first line, at most 4096 bytes, as UTF-8
    QString problem; // why not: "is not a file or a link", "cannot be read: ..."
};
Read readFirstLine(const QString &path);

// Replaces whatever file is there. False with the reason.
bool write(const QString &path, const QByteArray &contents, QString *error);
bool remove(const QString &path);

} // namespace EntryFile
