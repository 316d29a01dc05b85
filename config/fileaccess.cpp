#include "fileaccess.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#define NOMINMAX
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
// An empty name or one with an embedded NUL must never reach the system call: the NUL would
// silently cut the name short and open some other file.
FileStatus CheckPath(const QString &path)
{
    if (path.isEmpty())
        return {FileError::NoFileName};
    if (path.contains(QChar(u'\0')))
        return {FileError::InvalidFileName};
    return {};
}

// Plain system calls, so a failure leaves its errno. AcceptRegularFile refuses anything but a
// regular file (a project or settings file is never a pipe or device); on POSIX it also ends
// the non-blocking mode that the open needed.
#ifdef _WIN32
int OpenNative(const QString &path, bool openForWriting)
{
    const int flags = (openForWriting ? _O_RDWR : _O_RDONLY) | _O_BINARY | _O_NOINHERIT;
    return _wopen(reinterpret_cast<const wchar_t *>(path.utf16()), flags);
}
bool AcceptRegularFile(int fd)
{
    struct _stat64 st;
    return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}
long long ReadNative(int fd, char *buffer, long long size)
{
    return _read(fd, buffer, static_cast<unsigned>(size));
}
void CloseNative(int fd)
{
    _close(fd);
}
#else
int OpenNative(const QString &path, bool openForWriting)
{
    // Non-blocking only for the open itself: a pipe in place of the file would block here.
    const int flags = (openForWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
bool AcceptRegularFile(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}
long long ReadNative(int fd, char *buffer, long long size)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    return n;
}
void CloseNative(int fd)
{
    ::close(fd);
}
#endif

// Why a save could not start or finish: Qt reports no system error number for it, so ask
// the file system about the file and its folder directly.
FileStatus DiagnoseSaveFailure(const QString &path, int savedErrno)
{
#ifdef _WIN32
    const DWORD lastError = GetLastError();
    if (QFileInfo(path).isDir())
        return {FileError::AccessDenied};
    return lastError != 0 ? StatusFromWin32Error(lastError) : StatusFromErrno(savedErrno);
#else
    const QByteArray target = QFile::encodeName(path);
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return {FileError::AccessDenied};
        if (::access(target.constData(), W_OK) != 0)
            return StatusFromErrno(errno);
    } else if (errno != ENOENT) {
        return StatusFromErrno(errno);
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::stat(folder.constData(), &st) != 0)
        return StatusFromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return {FileError::FileNotFound};
    // The temporary file needs a writable folder even when the old file itself is writable.
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return StatusFromErrno(errno);
    return StatusFromErrno(savedErrno);
#endif
}

FileStatus WriteFailure(const QFileDevice &file, int savedErrno)
{
    if (file.error() == QFileDevice::ResourceError)
        return {FileError::DiskFull}; // Qt's name for ENOSPC
    return StatusFromErrno(savedErrno);
}

// A folder set up by someone else may refuse new files while the project file and ini.cfg
// in it stay writable. Without a temporary file the only way to save is to write the old
// file itself: from its start, then cut to the new length, so a failure part-way leaves
// the rest of the old bytes in place.
FileStatus WriteFileInPlace(const QString &path, QByteArrayView data, const FileWriter &writer)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return DiagnoseSaveFailure(path, errno);
    errno = 0;
    const bool written =
        writer ? writer(file, data) : file.write(data.data(), data.size()) == data.size();
    if (!written)
        return WriteFailure(file, errno);
    errno = 0;
    if (!file.resize(data.size()) || !file.flush())
        return WriteFailure(file, errno);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return WriteFailure(file, errno);
    return {};
}

// Whether a save that could not create its temporary file may write the old file instead:
// only where the folder refuses new entries and the target is a regular file already.
bool MayWriteInPlace(const QString &path, int savedErrno)
{
    if (savedErrno != EACCES && savedErrno != EPERM)
        return false;
    const QFileInfo target(path);
    return target.exists() && target.isFile();
}
} // namespace

FileStatus ReadFileHead(const QString &path, qint64 maxBytes, bool openForWriting, QByteArray &out)
{
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
    const int fd = OpenNative(path, openForWriting);
    if (fd < 0)
        return StatusFromErrno(errno);
    if (!AcceptRegularFile(fd)) {
        CloseNative(fd);
        return {FileError::AccessDenied};
    }
    QByteArray data;
    char chunk[16384];
    while (data.size() < maxBytes) {
        const qint64 want = std::min<qint64>(qint64(sizeof chunk), maxBytes - data.size());
        const long long n = ReadNative(fd, chunk, want);
        if (n < 0) {
            const FileStatus status = StatusFromErrno(errno);
            CloseNative(fd);
            return status;
        }
        if (n == 0)
            break;
        data.append(chunk, static_cast<qsizetype>(n));
    }
    CloseNative(fd);
    out = data;
    return {};
}

FileStatus WriteFileAtomically(const QString &path, QByteArrayView data, const FileWriter &writer)
{
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
    // Only a regular file is ever replaced: the rename would put a plain file in place of a
    // folder, a pipe or a device node instead of writing to it.
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return {FileError::AccessDenied};

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int savedErrno = errno;
        if (MayWriteInPlace(path, savedErrno))
            return WriteFileInPlace(path, data, writer);
        return DiagnoseSaveFailure(path, savedErrno);
    }

    errno = 0;
    const bool written =
        writer ? writer(file, data) : file.write(data.data(), data.size()) == data.size();
    if (!written) {
        const FileStatus status = WriteFailure(file, errno);
        file.cancelWriting();
        return status;
    }
    errno = 0;
    if (!file.commit()) {
        const int savedErrno = errno;
        if (file.error() == QFileDevice::ResourceError)
            return {FileError::DiskFull};
        return DiagnoseSaveFailure(path, savedErrno);
    }
    return {};
}
