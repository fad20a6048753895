#include "destination.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// What stands at the path, when it is something a replace would destroy.
QString notAFile(const QString &path)
{
#ifndef Q_OS_WIN
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {}; // nothing there yet, or a link to nothing: the write says what fails
    if (S_ISREG(status.st_mode))
        return {};
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return info.isDir() ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
#endif
}

bool syncToDisk(QFileDevice &file)
{
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

Destination::Destination(const QString &path)
    : m_path(path)
    , m_file(path)
{ }

bool Destination::open(QString *error)
{
    if (m_path.isEmpty())
        return true;
    if (const QString what = notAFile(m_path); !what.isEmpty()) {
        *error = QStringLiteral("cannot write %1: it is %2; --output takes a regular file or a "
                                "new one")
                     .arg(m_path, what);
        return false;
    }
    if (m_file.open(QIODevice::WriteOnly))
        return true;
    const QString folder = QFileInfo(m_path).absolutePath();
    // The file is replaced through a new one beside it: the folder must be writable, not just
    // the file.
    if (QFileInfo(folder).isDir() && !QFileInfo(folder).isWritable())
        *error = QStringLiteral("cannot write %1: its folder %2 is not writable (%3), and the file "
                                "is replaced through a new one made there")
                     .arg(m_path, folder, m_file.errorString());
    else
        *error = failure(m_file.errorString());
    return false;
}

QByteArray Destination::current() const
{
    QFile file(m_path);
    if (m_path.isEmpty() || !notAFile(m_path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool Destination::write(const QByteArray &bytes, QString *error)
{
    if (m_path.isEmpty()) {
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
            && std::fflush(stdout) == 0)
            return true;
        *error = QStringLiteral("cannot write the results to standard output");
        return false;
    }
    // QSaveFile::commit() alone replaced the file although a buffered write had failed (a full
    // disk): every step is checked here, and any failure cancels before the commit.
    QString failed;
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        failed = m_file.errorString();
    else if (!syncToDisk(m_file))
        failed = QString::fromLocal8Bit(std::strerror(errno));
    if (!failed.isEmpty()) {
        m_file.cancelWriting();
        m_file.commit(); // removes the new file, keeps the old one
        *error = failure(failed);
        return false;
    }
    if (!m_file.commit()) {
        *error = failure(m_file.errorString());
        return false;
    }
    return true;
}

QString Destination::failure(const QString &what) const
{
    return QStringLiteral("cannot write %1: %2; the file is left as it was").arg(m_path, what);
}
