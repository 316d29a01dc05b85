#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// The fuzz input as a file of the given name in a folder of its own, for the file routines.
// The folder lies in memory where it can: saves sync to disk, and on a disk that would cost
// most of the inputs a run gets through.
inline QString WriteFuzzInputFile(const QString &name, const QByteArray &content)
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/zelkora-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/zelkora-fuzz-XXXXXX"));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write the fuzz input to %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}
