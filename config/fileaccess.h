#pragma once

#include "fileerror.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

class QFileDevice;

// Writes `data` to the open temporary file of a save. Returns false on failure with errno
// set (or the device's error set). The default writes through the device; tests hand in
// their own to provoke failures such as a full disk.
using FileWriter = std::function<bool(QFileDevice &file, QByteArrayView data)>;

// Reads at most maxBytes from the start of a regular file, stopping early at its end.
// openForWriting asks for read-write access, so a file that may not be written is refused.
// Anything but a regular file (a folder, a pipe, a device) is refused with AccessDenied.
FileStatus ReadFileHead(const QString &path, qint64 maxBytes, bool openForWriting, QByteArray &out);

// Replaces the file with `data` in one go: written to a temporary file in the same folder and
// renamed over the old one only when complete, so a failure leaves the old file as it was.
// A target that exists but is no regular file (a folder, a pipe, a device) is refused with
// AccessDenied. Where the folder refuses the temporary file but the file itself exists, the
// file is written in place instead (without that, a shared folder whose files are writable
// could never be saved to); a failure of that write is reported as any other.
FileStatus WriteFileAtomically(const QString &path, QByteArrayView data,
                               const FileWriter &writer = {});
