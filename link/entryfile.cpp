#include "entryfile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>

#include <qt_windows.h>
#endif

namespace EntryFile {

namespace {

constexpr qint64 MostBytesRead = 4096;

Read firstLineOf(const QByteArray &bytes)
{
    Read read;
    read.ok = true;
    const int end = bytes.indexOf('\n');
    read.line = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
    return read;
}

Read unreadable(const QString &problem)
{
    Read read;
    read.problem = problem;
    return read;
}

} // namespace

#ifdef Q_OS_WIN

namespace {

// "\\?\C:\...\COM6": no device names, no other rewriting. It must be a full path with
// backslashes. The system makes the folder a full path (it may be "\tmp\..." on the current
// drive, or relative); the name is added as it is, as the system would turn COM6 into \\.\COM6.
std::wstring literalPath(const QString &path)
{
    const QFileInfo entry(path);
    const std::wstring folder = QDir::toNativeSeparators(entry.path()).toStdWString();
    std::wstring full(MAX_PATH, L'\0');
    DWORD size = GetFullPathNameW(folder.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (size >= full.size()) {
        full.resize(size);
        size = GetFullPathNameW(folder.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    full.resize(size);
    QString native = QString::fromStdWString(full);
    if (!native.endsWith(QLatin1Char('\\')))
        native += QLatin1Char('\\');
    native += entry.fileName();
    native = native.startsWith(QLatin1String("\\\\"))
        ? QStringLiteral("\\\\?\\UNC\\") + native.mid(2)
        : QStringLiteral("\\\\?\\") + native;
    return native.toStdWString();
}

QString lastErrorText()
{
    return qt_error_string(int(GetLastError()));
}

class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    { }
    ~Handle()
    {
        if (isValid())
            CloseHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool isValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

bool exists(const QString &path)
{
    return GetFileAttributesW(literalPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Read readFirstLine(const QString &path)
{
    const std::wstring name = literalPath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return unreadable(QStringLiteral("is not a file or a link"));
    const Handle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isValid())
        return unreadable(QStringLiteral("cannot be read: %1").arg(lastErrorText()));
    QByteArray bytes(MostBytesRead, Qt::Uninitialized);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr))
        return unreadable(QStringLiteral("cannot be read: %1").arg(lastErrorText()));
    bytes.truncate(int(got));
    return firstLineOf(bytes);
}

bool write(const QString &path, const QByteArray &contents, QString *error)
{
    const Handle file(CreateFileW(literalPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.isValid()
        || !WriteFile(file.get(), contents.constData(), DWORD(contents.size()), &written, nullptr)
        || written != DWORD(contents.size())) {
        *error = lastErrorText();
        return false;
    }
    return true;
}

bool remove(const QString &path)
{
    return DeleteFileW(literalPath(path).c_str());
}

#else

bool exists(const QString &path)
{
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink();
}

Read readFirstLine(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return unreadable(QStringLiteral("is not a file or a link"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    return firstLineOf(file.read(MostBytesRead));
}

bool write(const QString &path, const QByteArray &contents, QString *error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size() && file.flush())
        return true;
    *error = file.errorString();
    return false;
}

bool remove(const QString &path)
{
    return QFile::remove(path);
}

#endif

} // namespace EntryFile
