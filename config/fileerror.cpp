#include "config/fileerror.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

FileStatus SystemErrorStatus(int number)
{
    return {number, true};
}

FileStatus StatusFromErrno(int error)
{
    switch (error) {
    case 0:
        return SystemErrorStatus(EIO); // failed without saying why
    case ENOENT:
    case ENOTDIR:
        return {FileError::FileNotFound};
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
    case EILSEQ:
        return {FileError::InvalidFileName};
    case EMFILE:
    case ENFILE:
        return {FileError::TooManyOpenFiles};
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
        return {FileError::AccessDenied};
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return {FileError::DiskFull};
    default:
        return SystemErrorStatus(error);
    }
}

#ifdef _WIN32
FileStatus StatusFromWin32Error(unsigned long error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {FileError::FileNotFound};
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return {FileError::InvalidFileName};
    case ERROR_TOO_MANY_OPEN_FILES:
        return {FileError::TooManyOpenFiles};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return {FileError::AccessDenied};
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return {FileError::DiskFull};
    default:
        return SystemErrorStatus(static_cast<int>(error));
    }
}
#endif

QString FileErrorMessage(const FileStatus &status)
{
    if (status.systemError)
        return QStringLiteral("E/A-Fehler %1").arg(status.code);
    return FileErrorMessage(status.code);
}

QString FileErrorMessage(int code)
{
    switch (code) {
    case FileError::FileNotFound:
        return QStringLiteral("Datei nicht gefunden");
    case FileError::InvalidFileName:
        return QStringLiteral("Ungültiger Dateiname");
    case FileError::TooManyOpenFiles:
        return QStringLiteral("Zu viele geöffnete Dateien");
    case FileError::AccessDenied:
        return QStringLiteral("Dateizugriff verweigert");
    case FileError::ReadPastEnd:
        return QStringLiteral("Versuch hinter dem Dateiende zu lesen");
    case FileError::DiskFull:
        return QStringLiteral("Zu wenig Speicherplatz");
    case FileError::InvalidNumber:
        return QStringLiteral("Ungültige numerische Eingabe");
    case FileError::ForeignLink:
        return QStringLiteral("Verweis eines anderen Benutzers in einem gemeinsamen Ordner, er "
                              "wird nicht verfolgt");
    case FileError::NameWithLineBreak:
        return QStringLiteral("Dateiname mit Zeilenumbruch kann nicht in ini.cfg stehen");
    default:
        return QStringLiteral("E/A-Fehler %1").arg(code);
    }
}
