#include "forms/projectreader.h"

#include "config/fileaccess.h"
#include "config/fileerror.h"
#include "forms/projectjson.h"
#include "forms/projectmodel.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

bool ReadInputBytes(const QString &path, QByteArray &bytes, QString *why)
{
    const auto tooLarge = [&](qint64 size) {
        *why = QStringLiteral("zu groß für ein Projekt: %1 Bytes (höchstens %2)")
                   .arg(size)
                   .arg(MaxInputBytes);
        return false;
    };
    QFile file;
    if (path == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            return *why = QStringLiteral("Standardeingabe lässt sich nicht lesen"), false;
    } else {
        const QFileInfo info(path);
        if (info.isDir())
            return *why = QStringLiteral("ist ein Ordner"), false;
        if (info.isFile()) {
            if (info.size() > MaxInputBytes)
                return tooLarge(info.size());
            if (const FileStatus status = ReadFileHead(path, MaxInputBytes, false, bytes);
                !status.ok())
                return *why = FileErrorMessage(status), false;
            return true;
        }
        // A stream is read once: standard input, a pipe handed over as /dev/fd/N (process
        // substitution). A named FIFO or a device would hold the reader in open() until some
        // other program writes, so only regular files are taken by name.
        static const QRegularExpression handedOver(
            QStringLiteral("^/(dev/fd|proc/self/fd|proc/[0-9]+/fd)/[0-9]+$|^/dev/stdin$"));
        if (info.exists() && !handedOver.match(path).hasMatch())
            return *why = QStringLiteral("keine gewöhnliche Datei (FIFO oder Gerät)"), false;
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *why = info.exists() || info.isSymLink()
                       ? QStringLiteral("lässt sich nicht lesen")
                       : FileErrorMessage(FileStatus{FileError::FileNotFound});
            return false;
        }
    }
    // A stream: read until its end, one byte past the most that may come.
    bytes.clear();
    while (bytes.size() <= MaxInputBytes) {
        const QByteArray chunk = file.read(65536);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (bytes.size() > MaxInputBytes)
        return tooLarge(bytes.size());
    return true;
}

std::optional<ConfigImage> ImageFromJsonText(const QByteArray &text, QString *why)
{
    JsonError error;
    const std::optional<ProjectModel> model = ProjectFromJson(text, error);
    if (!model) {
        *why = error.text();
        return std::nullopt;
    }
    return EncodeProject(*model);
}

std::optional<ConfigImage> ReadProject(const QString &path, QString *why)
{
    QByteArray bytes;
    if (!ReadInputBytes(path, bytes, why))
        return std::nullopt;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool json = suffix == QLatin1String("json") ||
                      (suffix != QLatin1String("rel") && bytes.size() != ConfigImage::Size &&
                       bytes.trimmed().startsWith('{'));
    if (json) {
        return ImageFromJsonText(bytes, why);
    }
    // Only exactly 1024 bytes are a project: anything else sent to a card or read as one would
    // be a wrong result reported as right.
    if (bytes.size() != ConfigImage::Size && bytes.trimmed().startsWith('{')) {
        *why = QStringLiteral("ist JSON, keine .rel-Datei (%1 Bytes); als .json benennen")
                   .arg(bytes.size());
        return std::nullopt;
    }
    if (bytes.size() < ConfigImage::Size) {
        *why = QStringLiteral("zu kurz für ein Projekt: %1 Bytes statt 1024").arg(bytes.size());
        return std::nullopt;
    }
    if (bytes.size() > ConfigImage::Size) {
        *why = QStringLiteral("keine Projektdatei: %1 Bytes statt 1024").arg(bytes.size());
        return std::nullopt;
    }
    ConfigImage image;
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), ConfigImage::Size,
                image.data());
    return image;
}
