#pragma once

#include "config/fileerror.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

class QFileDevice;

// Writes `data` to the open temporary file of a save. Returns false on failure with errno
// set (or the device's error set). The default writes through the device; tests hand in
// their own to provoke failures such as a full disk.
using FileWriter = std::function<bool(QFileDevice &file, QByteArrayView data)>;

// A file name as the file system holds it, byte for byte. Linux takes any bytes; a name that
// is not UTF-8 is kept in the QString with each byte that does not decode as U+DC80 + byte
// (the way other tools escape such bytes), so it reaches the same file again and is written
// back unchanged.
QByteArray NativeFileName(const QString &path);
QString FileNameFromNative(const QByteArray &native);

// Reads at most maxBytes from the start of a regular file, stopping early at its end.
// openForWriting asks for read-write access, so a file that may not be written is refused.
// Anything but a regular file (a folder, a pipe, a device) is refused with AccessDenied.
FileStatus ReadFileHead(const QString &path, qint64 maxBytes, bool openForWriting, QByteArray &out);

// Whether the file may be replaced by its user: false where the mode bits that apply to the
// caller (owner, group or others) have no write bit. A project made read-only is so by its
// user's wish, which no save overrides (the owner, or root, could rename over it otherwise).
bool ModeAllowsWriting(const QString &path);

// Why a file in a working folder that other users may write to (group- or world-writable,
// sticky or not) is not to be acted on: it belongs to another user, or (where noLinks) it is a
// link. Empty where the file may be used or does not exist.
QString ForeignFileIn(const QString &folder, const QString &name, bool noLinks);

// Whether WriteFileAtomically could write the file now, without writing anything: its folder
// exists and may be written, and the file, where it exists, is a regular one that may be
// written. For checks made before work that must end in that file.
FileStatus CheckWritable(const QString &path);

// Replaces the file with `data` in one go: written to a temporary file in the same folder and
// renamed over the old one only when complete, so a failure leaves the old file as it was.
// The new file keeps the old one's mode, owner and group. A target that exists but is no
// regular file (a folder, a pipe, a device) is refused with AccessDenied. Where the old file
// is shared in a way a rename would break (it has other hard links, or the caller may not give
// the new file its owner and group) or where the folder refuses the temporary file, the file
// is written in place instead, after a copy of its old contents is safe beside it where the
// folder allows that. A link is followed as the kernel would: in a sticky folder that everybody
// may write to, only a link of the caller's own or of the folder's owner (ForeignLink).
FileStatus WriteFileAtomically(const QString &path, QByteArrayView data,
                               const FileWriter &writer = {});
// For a file that readers pick up at any moment (a metrics file): written under a temporary
// name beside it ("NAME.XXXXXX", which never ends as NAME does) and renamed over it, never in
// place; where that cannot be done (the folder refuses new files, the file has other hard
// links) nothing is written and the status says why.
FileStatus ReplaceFileWhole(const QString &path, QByteArrayView data);
// As ReplaceFileWhole, for a secret (a private key): the new file may be read and written by
// its owner alone (0600) before it takes the name, whatever mode an old one had.
FileStatus ReplaceSecretFile(const QString &path, QByteArrayView data);
