#include "link/knownservers.h"

#include "config/fileaccess.h"
#include "config/fileerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QStringList>

namespace {

// The lines of the file, none where it is missing; at most what a list of servers can be.
QStringList Lines(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(in.read(1 << 20)).split(QLatin1Char('\n'));
}

bool SameAddress(const QString &line, const QString &address)
{
    const QString first = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    return first.compare(address, Qt::CaseInsensitive) == 0;
}

} // namespace

QString Fingerprint(const QSslCertificate &certificate)
{
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QString RecordedFingerprint(const QString &file, const QString &address)
{
    for (const QString &line : Lines(file)) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('#')) || !SameAddress(trimmed, address))
            continue;
        return trimmed.section(QLatin1Char(' '), 1, 1, QString::SectionSkipEmpty).toUpper();
    }
    return {};
}

bool RecordFingerprint(const QString &file, const QString &address, const QString &fingerprint,
                       QString *error)
{
    QStringList kept;
    for (const QString &line : Lines(file)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QLatin1Char('#')) && SameAddress(trimmed, address))
            continue;
        kept << line;
    }
    while (!kept.isEmpty() && kept.last().trimmed().isEmpty())
        kept.removeLast();
    kept << address + QLatin1Char(' ') + fingerprint;
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        *error = QStringLiteral("Ordner %1 lässt sich nicht anlegen")
                     .arg(QFileInfo(file).absolutePath());
        return false;
    }
    const FileStatus status =
        ReplaceFileWhole(file, (kept.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!status.ok()) {
        *error = file + QStringLiteral(": ") + FileErrorMessage(status);
        return false;
    }
    return true;
}
