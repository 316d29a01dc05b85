#include "config/projectfile.h"

#include "config/configimage.h"

#include <QFileInfo>

#include <algorithm>

FileStatus LoadProjectFile(const QString &path, ConfigImage &image)
{
    QByteArray bytes;
    if (FileStatus status = ReadFileHead(path, ConfigImage::Size, false, bytes); !status.ok())
        return status;
    if (bytes.size() < ConfigImage::Size)
        return {FileError::ReadPastEnd};
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), ConfigImage::Size,
                image.data());
    image[ImageOffset::Reserved903] = 0;
    return {};
}

FileStatus SaveProjectFile(const QString &path, const ConfigImage &image, const FileWriter &writer)
{
    return WriteFileAtomically(
        path, QByteArrayView(reinterpret_cast<const char *>(image.data()), ConfigImage::Size),
        writer);
}

QString FileNamePart(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString ProjectStatusText(const QString &path)
{
    return QStringLiteral(" Datei : ") + FileNamePart(path);
}
