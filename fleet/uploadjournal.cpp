#include "fleet/uploadjournal.h"

#include "config/fileaccess.h"
#include "config/fileerror.h"
#include "link/linkfailure.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// By UploadRecord::Outcome; the first three are those of the journal's first records.
const char *const Outcomes[] = {"vollständig", "gescheitert",  "abgebrochen",
                                "begonnen",    "unterbrochen", "gestört"};
constexpr int OutcomeCount = int(std::size(Outcomes));

QString ImagePath(const QString &folder, const QByteArray &hash)
{
    return folder + QStringLiteral("/bilder/") + QString::fromLatin1(hash) + QStringLiteral(".rel");
}

#ifndef Q_OS_WIN
// A FIFO without a reader refuses a non-blocking open with ENXIO.
QString OpenFailure(const QString &path, int error)
{
    if (error == ENXIO)
        return QStringLiteral("Journal %1: keine gewöhnliche Datei").arg(path);
    return QStringLiteral("Journal %1: %2").arg(path, FileErrorMessage(StatusFromErrno(error)));
}

QString NotRegular(const QString &path, int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return {};
    return QStringLiteral("Journal %1: keine gewöhnliche Datei").arg(path);
}
#endif

} // namespace

// The keys of a record, for writing and reading alike.
namespace Field {
const QString Version = QStringLiteral("version");
const QString When = QStringLiteral("zeit");
const QString Port = QStringLiteral("port");
const QString Reached = QStringLiteral("erreicht");
const QString Key = QStringLiteral("schluessel");
const QString Project = QStringLiteral("projekt");
const QString Hash = QStringLiteral("hash");
const QString FinalBlock = QStringLiteral("schlussblock");
const QString Outcome = QStringLiteral("ergebnis");
const QString Reason = QStringLiteral("grund");
const QString Block = QStringLiteral("block");
const QString Program = QStringLiteral("programm");
const QString Name = QStringLiteral("name");
const QString Computer = QStringLiteral("rechner");
} // namespace Field

QString UploadRecord::TimeText(const QDateTime &when, bool milliseconds)
{
    // Local time with its offset, "2026-12-08T18:01:42+01:00", so records from a laptop that
    // travelled or crossed a change of summer time still sort and read right.
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(milliseconds ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                      : QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString UploadRecord::OutcomeWord(Outcome outcome)
{
    return QString::fromUtf8(Outcomes[int(outcome)]);
}

QString UploadRecord::whenAndWho() const
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           (program.isEmpty() ? QString() : QStringLiteral(" von ") + program);
}

QString CardState::unknownReason() const
{
    if (kind != Kind::Unknown)
        return {};
    QString what = last->outcome == UploadRecord::Outcome::Begun
                       ? QStringLiteral("nicht beendet")
                       : UploadRecord::OutcomeWord(last->outcome);
    if (last->outcome != UploadRecord::Outcome::Begun && last->block > 0)
        what += QLatin1Char(' ') + AtBlock(last->block);
    return QStringLiteral("unbekannt: letzte Übertragung %1 (%2)").arg(what, last->whenAndWho());
}

QJsonObject UploadRecord::toJson() const
{
    QJsonObject o;
    o.insert(Field::Version, UploadJournal::Version);
    o.insert(Field::When, UploadRecord::TimeText(when));
    o.insert(Field::Port, port);
    o.insert(Field::Reached, reached);
    o.insert(Field::Key, key);
    o.insert(Field::Project, project);
    o.insert(Field::Hash, QString::fromLatin1(hash));
    o.insert(Field::FinalBlock, QString::fromLatin1(finalBlock.toHex()));
    o.insert(Field::Outcome, OutcomeWord(outcome));
    if (outcome != Outcome::Complete && outcome != Outcome::Begun) {
        o.insert(Field::Reason, reason);
        if (block > 0)
            o.insert(Field::Block, block);
    }
    o.insert(Field::Program, program);
    if (!name.isEmpty())
        o.insert(Field::Name, name);
    if (!computer.isEmpty())
        o.insert(Field::Computer, computer);
    return o;
}

std::optional<UploadRecord> UploadRecord::fromJson(const QJsonObject &o)
{
    // A record of a later format is not guessed at.
    if (o.value(Field::Version).toInt() != UploadJournal::Version)
        return std::nullopt;
    UploadRecord r;
    r.when = QDateTime::fromString(o.value(Field::When).toString(), Qt::ISODate);
    r.port = o.value(Field::Port).toString();
    r.reached = o.value(Field::Reached).toString();
    r.key = o.value(Field::Key).toString();
    r.project = o.value(Field::Project).toString();
    r.hash = o.value(Field::Hash).toString().toLatin1();
    r.finalBlock = QByteArray::fromHex(o.value(Field::FinalBlock).toString().toLatin1());
    const QString outcome = o.value(Field::Outcome).toString();
    bool known = false;
    for (int i = 0; i < OutcomeCount; ++i)
        if (outcome == QString::fromUtf8(Outcomes[i])) {
            r.outcome = Outcome(i);
            known = true;
        }
    r.reason = o.value(Field::Reason).toString();
    r.block = o.value(Field::Block).toInt();
    r.program = o.value(Field::Program).toString();
    r.name = o.value(Field::Name).toString();
    r.computer = o.value(Field::Computer).toString();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!known || !r.when.isValid() || r.port.isEmpty() ||
        !hex.match(QString::fromLatin1(r.hash)).hasMatch())
        return std::nullopt;
    return r;
}

UploadJournal::UploadJournal(const QString &folder) : m_folder(folder) {}

QString UploadJournal::DefaultFolder()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/zelkora/journal");
#else
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG base directories are absolute paths; anything else is ignored, as other programs do.
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/zelkora");
#endif
}

QByteArray UploadJournal::HashOf(const ConfigImage &image)
{
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char *>(image.data()), ConfigImage::Size),
               QCryptographicHash::Sha256)
        .toHex();
}

QString UploadJournal::journalPath() const
{
    return m_folder + QStringLiteral("/journal.jsonl");
}

QString UploadJournal::append(const UploadRecord &record, const ConfigImage &image) const
{
    QString failed;
    if (!QDir().mkpath(m_folder + QStringLiteral("/bilder")))
        return QStringLiteral("Journal %1: Ordner lässt sich nicht anlegen").arg(m_folder);
    const QString imagePath = ImagePath(m_folder, record.hash);
    if (!QFileInfo::exists(imagePath)) {
        const FileStatus status = WriteFileAtomically(
            imagePath,
            QByteArrayView(reinterpret_cast<const char *>(image.data()), ConfigImage::Size));
        if (!status.ok())
            failed = QStringLiteral("Journal %1: %2").arg(imagePath, FileErrorMessage(status));
    }
    const QByteArray line = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n';
#ifndef Q_OS_WIN
    // One write to a file opened for appending: the record lands whole after every other,
    // whoever else appends at the same moment.
    const int fd = ::open(QFile::encodeName(journalPath()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0)
        return OpenFailure(journalPath(), errno);
    if (const QString why = NotRegular(journalPath(), fd); !why.isEmpty()) {
        ::close(fd);
        return why;
    }
    ssize_t n;
    do {
        n = ::write(fd, line.constData(), std::size_t(line.size()));
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    if (n != line.size()) {
        // A short write leaves part of a line: cut it off again, so the next record starts
        // on a line of its own.
        if (n > 0) {
            const off_t end = ::lseek(fd, 0, SEEK_END);
            if (end >= n) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, end - n);
            }
        }
        ::close(fd);
        return QStringLiteral("Journal %1: %2")
            .arg(journalPath(), FileErrorMessage(n < 0 ? StatusFromErrno(error)
                                                       : FileStatus{FileError::DiskFull}));
    }
    if (::close(fd) != 0)
        return QStringLiteral("Journal %1: %2")
            .arg(journalPath(), FileErrorMessage(StatusFromErrno(errno)));
#else
    QFile file(journalPath());
    if (!file.open(QIODevice::Append) || file.write(line) != line.size())
        return QStringLiteral("Journal %1: %2").arg(journalPath(), file.errorString());
#endif
    return failed;
}

QString UploadJournal::checkWritable() const
{
    if (!QDir().mkpath(m_folder + QStringLiteral("/bilder")))
        return QStringLiteral("Journal %1: Ordner lässt sich nicht anlegen").arg(m_folder);
#ifndef Q_OS_WIN
    // Opened as append would open it, without blocking (a FIFO would wait for a reader) and
    // without writing anything.
    const int fd = ::open(QFile::encodeName(journalPath()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    const QString why = fd < 0 ? OpenFailure(journalPath(), errno) : NotRegular(journalPath(), fd);
    if (fd >= 0)
        ::close(fd);
    if (!why.isEmpty())
        return why;
#else
    QFile file(journalPath());
    if (!file.open(QIODevice::Append))
        return QStringLiteral("Journal %1: %2").arg(journalPath(), file.errorString());
#endif
    return {};
}

std::vector<UploadRecord> UploadJournal::read(QString *cutNote) const
{
    std::vector<UploadRecord> records;
    if (cutNote)
        cutNote->clear();
    QFile file(journalPath());
    // Only a regular file: a FIFO in its place would hold the reader in open().
    if (!QFileInfo(journalPath()).isFile() || !file.open(QIODevice::ReadOnly))
        return records;
    const qint64 size = file.size();
    if (size > MaxReadBytes) {
        file.seek(size - MaxReadBytes);
        if (cutNote)
            *cutNote = QStringLiteral("Journal %1 ist %2 MiB groß: nur die letzten %3 MiB "
                                      "gelesen, ältere Übertragungen fehlen")
                           .arg(journalPath())
                           .arg(size / (1024 * 1024))
                           .arg(MaxReadBytes / (1024 * 1024));
    }
    const QByteArray text = file.read(MaxReadBytes);
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // After a seek into the middle, the first piece is the end of a line.
        if (i == 0 && size > MaxReadBytes)
            continue;
        const QByteArray &line = lines[i];
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            continue;
        if (auto record = UploadRecord::fromJson(doc.object()))
            records.push_back(*record);
    }
    return records;
}

CardState UploadJournal::StateOf(const std::vector<UploadRecord> &records, const QString &key)
{
    CardState state;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->key != key || !it->touchedCard())
            continue;
        state.last = *it;
        state.kind = it->outcome == UploadRecord::Outcome::Complete ? CardState::Kind::Holds
                                                                    : CardState::Kind::Unknown;
        break;
    }
    return state;
}

CardState UploadJournal::state(const QString &key, QString *cutNote) const
{
    return StateOf(read(cutNote), key);
}

std::optional<ConfigImage> UploadJournal::image(const QByteArray &hash) const
{
    QByteArray bytes;
    if (!ReadFileHead(ImagePath(m_folder, hash), ConfigImage::Size + 1, false, bytes).ok() ||
        bytes.size() != ConfigImage::Size)
        return std::nullopt;
    ConfigImage image;
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), ConfigImage::Size,
                image.data());
    if (HashOf(image) != hash)
        return std::nullopt;
    return image;
}
