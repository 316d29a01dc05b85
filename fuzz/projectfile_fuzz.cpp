// The project-file load on arbitrary file contents: a load either replaces all 1024 bytes
// (byte 903 cleared) or leaves the image untouched. A save that fails part-way, at a point
// the input chooses, leaves the file that was there byte for byte.
#include "config/configimage.h"
#include "config/projectfile.h"
#include "fuzz/fuzzfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileDevice>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, std::size_t size)
{
    std::fprintf(stderr, "project file: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = WriteFuzzInputFile(QStringLiteral("projekt.rel"), content);

    ConfigImage before;
    for (int i = 0; i < ConfigImage::Size; ++i)
        before[i] = std::uint8_t(i * 13 + 5);
    ConfigImage image = before;
    const FileStatus status = LoadProjectFile(path, image);

    if (size < std::size_t(ConfigImage::Size)) {
        if (status != FileStatus{FileError::ReadPastEnd})
            fail("a short file did not fail with ReadPastEnd", size);
        if (!(image == before))
            fail("a failed load changed the image", size);
        return 0;
    }
    if (!status.ok())
        fail("a complete file did not load", size);
    for (int i = 0; i < ConfigImage::Size; ++i) {
        const std::uint8_t want = i == ImageOffset::Reserved903 ? 0 : data[i];
        if (image[i] != want)
            fail("loaded image differs from the file", size);
    }

    // A save of another image that fails after k bytes, k taken from the input.
    const qsizetype k = (data[0] << 8 | data[1]) % (ConfigImage::Size + 1);
    const FileWriter failing = [k](QFileDevice &file, QByteArrayView bytes) {
        file.write(bytes.data(), k);
        errno = ENOSPC;
        return false;
    };
    if (SaveProjectFile(path, before, failing) != FileStatus{FileError::DiskFull})
        fail("a save on a full disk did not report it", size);
    if (readAll(path) != content)
        fail("a failed save changed the old file", size);

    // And a save that succeeds gives back what the next load reads.
    if (!SaveProjectFile(path, image).ok())
        fail("save failed", size);
    ConfigImage again = before;
    if (!LoadProjectFile(path, again).ok() || !(again == image))
        fail("save and load do not round-trip", size);
    return 0;
}
