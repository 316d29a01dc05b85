#pragma once

#include <QString>

// Outcome of a project or settings file routine. `code` is 0 on success, one of the codes
// below, or an operating-system error number that has no code of its own (shown as
// "E/A-Fehler n"). Those numbers can coincide with the codes (EIO is 5 on Linux), so
// `systemError` tells which table the number belongs to.
struct FileStatus
{
    int code = 0;
    bool systemError = false;

    bool ok() const { return code == 0; }
    bool operator==(const FileStatus &) const = default;
};

namespace FileError {
constexpr int FileNotFound = 2;     // "Datei nicht gefunden"
constexpr int InvalidFileName = 3;  // "Ungültiger Dateiname"
constexpr int TooManyOpenFiles = 4; // "Zu viele geöffnete Dateien"
constexpr int AccessDenied = 5;     // "Dateizugriff verweigert"
constexpr int ReadPastEnd = 100;    // "Versuch hinter dem Dateiende zu lesen"
constexpr int DiskFull = 101;       // "Zu wenig Speicherplatz"
constexpr int InvalidNumber = 106;  // "Ungültige numerische Eingabe"
// A link in a folder that everybody may write to (/tmp), put there by another user: followed,
// it would let that user choose which of the caller's files is replaced.
constexpr int ForeignLink = 107;
// A project file name with a line break cannot stand on its line of ini.cfg.
constexpr int NameWithLineBreak = 108;
// An empty path names no file at all: reported as the generic "E/A-Fehler 102" (file not
// assigned), since no operating-system call ever ran to give a number.
constexpr int NoFileName = 102;
} // namespace FileError

// errno of a failed call (also what the Windows C runtime sets) to a status:
// ENOENT, ENOTDIR -> 2; ENAMETOOLONG, EINVAL, ELOOP, EILSEQ -> 3; EMFILE, ENFILE -> 4;
// EACCES, EPERM, EROFS, EISDIR, ETXTBSY, EBUSY -> 5 (a folder in place of the file is refused
// access, as on Windows); ENOSPC, EDQUOT, EFBIG -> 101; anything else -> that number as a
// system error.
FileStatus StatusFromErrno(int error);
#ifdef _WIN32
// The same for the Win32 error of a failed call where Qt hands over nothing better.
FileStatus StatusFromWin32Error(unsigned long error);
#endif
FileStatus SystemErrorStatus(int number);

// Message for the error box, without the final period (the window adds it).
QString FileErrorMessage(const FileStatus &status);
// For a bare code; numbers outside the table read as "E/A-Fehler n".
QString FileErrorMessage(int code);
