#include "config/fileaccess.h"

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

QByteArray NativeFileName(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    QString run;
    const auto flush = [&] {
        out += run.toUtf8();
        run.clear();
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        // Only a lone low surrogate is an escaped byte; one that follows a high surrogate is
        // the second half of a character beyond U+FFFF.
        const bool paired = i > 0 && path[i - 1].isHighSurrogate();
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF && !paired) {
            flush();
            out += char(c.unicode() - 0xDC00);
        } else {
            run += c;
        }
    }
    flush();
    return out;
}

QString FileNameFromNative(const QByteArray &native)
{
    QString out;
    qsizetype i = 0;
    const auto *b = reinterpret_cast<const unsigned char *>(native.constData());
    const qsizetype n = native.size();
    while (i < n) {
        // The length of a well-formed UTF-8 sequence starting here, 0 where there is none.
        int len = 0;
        char32_t cp = 0;
        if (b[i] < 0x80) {
            len = 1;
            cp = b[i];
        } else if (b[i] >= 0xC2 && b[i] <= 0xDF) {
            len = 2;
            cp = b[i] & 0x1F;
        } else if (b[i] >= 0xE0 && b[i] <= 0xEF) {
            len = 3;
            cp = b[i] & 0x0F;
        } else if (b[i] >= 0xF0 && b[i] <= 0xF4) {
            len = 4;
            cp = b[i] & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (b[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (b[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
        if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += QChar(char16_t(0xDC00 + b[i]));
            ++i;
            continue;
        }
        out += QString::fromUcs4(&cp, 1);
        i += len;
    }
    return out;
}

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
        fd = ::open(NativeFileName(path).constData(), flags);
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
    const QByteArray target = NativeFileName(path);
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return {FileError::AccessDenied};
        if (::access(target.constData(), W_OK) != 0)
            return StatusFromErrno(errno);
    } else if (errno != ENOENT) {
        return StatusFromErrno(errno);
    }
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : target.left(slash);
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

#ifdef _WIN32
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
#else
QByteArray FolderOf(const QByteArray &native)
{
    const qsizetype slash = native.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
}

// The file a save really writes: the path, or where its links lead. A link is followed only
// where the kernel's protection of links would follow it: in a sticky folder that everybody
// may write to, only a link owned by the caller or by the folder's owner.
FileStatus ResolveTarget(const QByteArray &native, QByteArray &target)
{
    target = native;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link;
        if (::lstat(target.constData(), &link) != 0)
            return errno == ENOENT ? FileStatus{} : StatusFromErrno(errno);
        if (!S_ISLNK(link.st_mode))
            return {};
        struct stat folder;
        if (::stat(FolderOf(target).constData(), &folder) == 0 && (folder.st_mode & S_ISVTX) &&
            (folder.st_mode & S_IWOTH) && link.st_uid != ::geteuid() &&
            link.st_uid != folder.st_uid)
            return {FileError::ForeignLink};
        QByteArray next(4096, '\0');
        const ssize_t n = ::readlink(target.constData(), next.data(), std::size_t(next.size()));
        if (n < 0 || n >= next.size())
            return StatusFromErrno(n < 0 ? errno : ENAMETOOLONG);
        next.truncate(n);
        target = next.startsWith('/') ? next : FolderOf(target) + '/' + next;
    }
    return StatusFromErrno(ELOOP);
}

// Writes data through an open descriptor with the caller's writer, then cuts the file to its
// length and forces it to the disk.
// An open descriptor that still answers to the name of the file it writes, for the writer.
class NamedDescriptor : public QFile
{
public:
    explicit NamedDescriptor(const QString &name) : m_name(name) {}
    QString fileName() const override { return m_name; }

private:
    QString m_name;
};

FileStatus WriteThrough(int fd, const QString &name, QByteArrayView data, const FileWriter &writer)
{
    NamedDescriptor file(name);
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return StatusFromErrno(EBADF);
    errno = 0;
    const bool written =
        writer ? writer(file, data) : file.write(data.data(), data.size()) == data.size();
    if (!written)
        return WriteFailure(file, errno);
    if (::ftruncate(fd, data.size()) != 0 || ::fsync(fd) != 0)
        return StatusFromErrno(errno);
    return {};
}

// The old file written over where a new one cannot take its place: its owner and group stay
// and so do its other hard links. A copy of the old contents is kept beside it while that
// happens, where the folder allows one; a write that fails part-way leaves that copy.
FileStatus WriteInPlace(const QByteArray &target, QByteArrayView data, const FileWriter &writer)
{
    const QString targetName = FileNameFromNative(target);
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return DiagnoseSaveFailure(targetName, errno);
    QByteArray old;
    char chunk[16384];
    for (long long n; (n = ReadNative(fd, chunk, sizeof chunk)) > 0;)
        old.append(chunk, qsizetype(n));
    QByteArray backup = target + ".alt-XXXXXX";
    const int copy = ::mkostemp(backup.data(), O_CLOEXEC);
    bool safe = false;
    if (copy >= 0) {
        safe = ::write(copy, old.constData(), std::size_t(old.size())) == old.size() &&
               ::fsync(copy) == 0;
        ::close(copy);
        if (!safe)
            ::unlink(backup.constData());
    }
    FileStatus status;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        status = StatusFromErrno(errno);
    else
        status = WriteThrough(fd, targetName, data, writer);
    if (::close(fd) != 0 && status.ok())
        status = StatusFromErrno(errno);
    if (status.ok() && safe)
        ::unlink(backup.constData());
    return status;
}

FileStatus WriteNative(const QString &path, QByteArrayView data, const FileWriter &writer,
                       bool inPlace, bool ownerOnly = false)
{
    QByteArray target;
    if (FileStatus status = ResolveTarget(NativeFileName(path), target); !status.ok())
        return status;
    const QString targetName = FileNameFromNative(target);
    struct stat old;
    const bool exists = ::stat(target.constData(), &old) == 0;
    // Only a regular file is ever replaced: the rename would put a plain file in place of a
    // folder, a pipe or a device node instead of writing to it.
    if (exists && !S_ISREG(old.st_mode))
        return {FileError::AccessDenied};
    if (exists && old.st_nlink > 1)
        return inPlace ? WriteInPlace(target, data, writer) : FileStatus{FileError::AccessDenied};

    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        // A folder set up by someone else may refuse new files while the file itself stays
        // writable: without a temporary file the only way to save is to write the file.
        const int error = errno;
        if ((error == EACCES || error == EPERM) && exists && inPlace)
            return WriteInPlace(target, data, writer);
        return DiagnoseSaveFailure(targetName, error);
    }
    const auto abandon = [&](const FileStatus &status) {
        ::close(fd);
        ::unlink(temp.constData());
        return status;
    };
    if (exists) {
        // The new file is the old one's: same owner, group and mode, before anyone sees it.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && inPlace) {
            abandon({});
            return WriteInPlace(target, data, writer);
        }
        ::fchmod(fd, ownerOnly ? 0600 : old.st_mode & 07777);
    } else if (ownerOnly) {
        ::fchmod(fd, 0600);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (FileStatus status = WriteThrough(fd, targetName, data, writer); !status.ok())
        return abandon(status);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return StatusFromErrno(error);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return DiagnoseSaveFailure(targetName, error);
    }
    return {};
}
#endif
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

#ifndef _WIN32
bool ModeAllowsWriting(const QString &path)
{
    struct stat st;
    if (::stat(NativeFileName(path).constData(), &st) != 0)
        return true; // nothing there yet: a new file is made
    if (st.st_uid == ::geteuid())
        return st.st_mode & S_IWUSR;
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    const bool member = st.st_gid == ::getegid() || std::find(groups, groups + std::max(0, n),
                                                              st.st_gid) != groups + std::max(0, n);
    return st.st_mode & (member ? S_IWGRP : S_IWOTH);
}

QString ForeignFileIn(const QString &folder, const QString &name, bool noLinks)
{
    const QByteArray file = NativeFileName(folder + QLatin1Char('/') + name);
    struct stat st, dir;
    if (::lstat(file.constData(), &st) != 0)
        return {};
    if (noLinks && S_ISLNK(st.st_mode))
        return QStringLiteral("%1 ist ein Verweis und wird nicht verfolgt").arg(name);
    if (::stat(NativeFileName(folder).constData(), &dir) != 0 ||
        !(dir.st_mode & (S_IWGRP | S_IWOTH)) || st.st_uid == ::geteuid())
        return {};
    return QStringLiteral("%1 gehört einem anderen Benutzer (UID %2) in einem Ordner, in den "
                          "andere schreiben dürfen (%3)")
        .arg(name)
        .arg(st.st_uid)
        .arg(folder);
}
#else
bool ModeAllowsWriting(const QString &path)
{
    const QFileInfo file(path);
    return !file.exists() || file.isWritable();
}

QString ForeignFileIn(const QString &, const QString &, bool)
{
    return {};
}
#endif

FileStatus CheckWritable(const QString &path)
{
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return {FileError::AccessDenied};
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return {FileError::FileNotFound};
    if (!folder.isDir() || !folder.isWritable() || (target.exists() && !target.isWritable()))
        return {FileError::AccessDenied};
    return {};
}

FileStatus WriteFileAtomically(const QString &path, QByteArrayView data, const FileWriter &writer)
{
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
#ifndef _WIN32
    return WriteNative(path, data, writer, true);
#else
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
#endif
}

FileStatus ReplaceSecretFile(const QString &path, QByteArrayView data)
{
#ifndef _WIN32
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
    return WriteNative(path, data, {}, false, true);
#else
    // The user's own profile folder keeps others out there.
    return ReplaceFileWhole(path, data);
#endif
}

FileStatus ReplaceFileWhole(const QString &path, QByteArrayView data)
{
    if (FileStatus status = CheckPath(path); !status.ok())
        return status;
#ifndef _WIN32
    return WriteNative(path, data, {}, false);
#else
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return {FileError::AccessDenied};
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return DiagnoseSaveFailure(path, errno);
    if (file.write(data.data(), data.size()) != data.size()) {
        const FileStatus status = WriteFailure(file, errno);
        file.cancelWriting();
        return status;
    }
    errno = 0;
    if (!file.commit())
        return file.error() == QFileDevice::ResourceError ? FileStatus{FileError::DiskFull}
                                                          : DiagnoseSaveFailure(path, errno);
    return {};
#endif
}
