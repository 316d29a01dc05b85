#pragma once

#include "config/configimage.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// What went to which card, and when: the card cannot be read back, so this record is the only
// memory of what each card holds. One line of JSON per upload in journal.jsonl in the user's
// state folder ($XDG_STATE_HOME/zelkora, normally ~/.local/state/zelkora), and each distinct
// image once beside it as bilder/<hash>.rel, so an old upload can be read by meaning later.
//
// Records are appended whole or not at all, by any number of programs at once, without a
// lock: each is one write to a file opened for appending. A journal that cannot be written
// never stops an upload; append says why, and the caller says so. Reading takes what is
// readable and passes over anything else (a cut-off last line, junk).
struct UploadRecord
{
    enum class Outcome
    {
        Complete, // the card acknowledged the final block
        Failed,   // stopped at a step (reason, block where there is one)
        CutOff,   // the line went away in the middle, at `block`: the card must be reset
    };

    QDateTime when;        // local time with its offset
    QString port;          // as the user named it ("COM 3", "rfc2217://gw:4001")
    QString reached;       // the device or address it reached
    QString key;           // what the port really reaches, to find one card under any name
    QString project;       // the project file, absolute; empty where there was none
    QByteArray hash;       // SHA-256 of the 1024 bytes, in hex
    QByteArray finalBlock; // the nine bytes of the final block, where it went out
    Outcome outcome = Outcome::Complete;
    QString reason;  // Failed, CutOff: in words
    int block = 0;   // Failed, CutOff: 1 to 32, 33 for the final block
    QString program; // "zelkora", "zelkora-cli"

    QJsonObject toJson() const;
    static std::optional<UploadRecord> fromJson(const QJsonObject &object);
    static QString OutcomeWord(Outcome outcome);
    static QString TimeText(const QDateTime &when);
};

class UploadJournal
{
public:
    static constexpr int Version = 1;
    // Larger journals are read from their end: the newest records are what is asked for.
    static constexpr qint64 MaxReadBytes = 64 * 1024 * 1024;

    // The journal in `folder`; the user's state folder by default.
    explicit UploadJournal(const QString &folder = DefaultFolder());
    static QString DefaultFolder();
    static QByteArray HashOf(const ConfigImage &image);

    QString folder() const { return m_folder; }
    QString journalPath() const;

    // Keeps the image (once per hash) and appends the record. Empty when both were written;
    // else one German line of what failed.
    QString append(const UploadRecord &record, const ConfigImage &image) const;
    // Every readable record, oldest first.
    std::vector<UploadRecord> read() const;
    // The newest complete upload to the card that `key` names.
    std::optional<UploadRecord> lastComplete(const QString &key) const;
    // A kept image by its hash; nothing when it is missing or not what the hash says.
    std::optional<ConfigImage> image(const QByteArray &hash) const;

private:
    QString m_folder;
};
