#include "config/settingsfile.h"

#include "config/fileaccess.h"
#include "config/numberrule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 MaxSettingsBytes = 8 * 1024 * 1024;

// Splits off the next line; CR LF, LF and a lone CR all end it.
QByteArray TakeLine(QByteArrayView &rest)
{
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
        ++end;
    const QByteArray line = rest.first(end).toByteArray();
    qsizetype next = end;
    if (next < rest.size() && rest[next] == '\r')
        ++next;
    if (next < rest.size() && rest[next] == '\n' && (next == end || rest[end] == '\r'))
        ++next;
    rest = rest.sliced(next);
    return line;
}

QString CanonicalOrClean(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

QString ProjectLine(const QString &projectPath, const QString &workingDir)
{
    if (projectPath.isEmpty())
        return {};
    const QDir working(QDir(workingDir).absolutePath());
    const QFileInfo project(working.absoluteFilePath(projectPath));
    if (CanonicalOrClean(project.absolutePath()) == CanonicalOrClean(working.absolutePath()))
        return project.fileName();
    return QDir::cleanPath(project.absoluteFilePath());
}
} // namespace

FileStatus LoadSettingsFile(const QString &path, Settings &settings)
{
    QByteArray bytes;
    if (FileStatus status = ReadFileHead(path, MaxSettingsBytes, false, bytes); !status.ok())
        return status;
    QByteArrayView rest(bytes);
    const long long port = ParseNumber(QString::fromLatin1(TakeLine(rest)));
    settings.portIndex = port >= 0 && port < Settings::PortCount ? static_cast<int>(port) : -1;
    // The name byte for byte as the file system holds it, UTF-8 or not.
    settings.projectPath = FileNameFromNative(TakeLine(rest));
    return {};
}

FileStatus SaveSettingsFile(const QString &path, int portIndex, const QString &projectPath,
                            const QString &workingDir, const FileWriter &writer)
{
    const QByteArray text = QByteArray::number(portIndex) + "\r\n" +
                            NativeFileName(ProjectLine(projectPath, workingDir)) + "\r\n" +
                            "Leer\r\n";
    return WriteFileAtomically(path, text, writer);
}
