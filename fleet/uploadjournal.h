#pragma once

#include "config/configimage.h"
#include "link/uploadrecorder.h"

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
// Every upload writes two records: "begonnen" before the first byte goes to the card, and
// one of how it ended. A card holds the project of its last upload only when that upload's
// end record says complete; a begun upload without an end (a program killed, a journal that
// failed in between) and any end but complete leave the card unknown.
//
// Records are appended whole or not at all, by any number of programs at once, without a
// lock: each is one write to a file opened for appending. Reading takes what is readable and
// passes over anything else (a cut-off last line, junk).
struct UploadRecord
{
    using Outcome = UploadOutcome; // worded in uploadjournal.cpp, in its order

    QDateTime when;        // local time with its offset
    QString port;          // as the user named it ("COM 3", "rfc2217://gw:4001")
    QString reached;       // the device or address it reached
    QString key;           // what the port really reaches, to find one card under any name
    QString project;       // the project file, absolute; empty where there was none
    QByteArray hash;       // SHA-256 of the 1024 bytes, in hex
    QByteArray finalBlock; // the nine bytes of the final block, where it went out
    Outcome outcome = Outcome::Complete;
    QString reason;   // Failed, CutOff: in words
    int block = 0;    // Failed, CutOff: 1 to 32, 33 for the final block
    QString program;  // "zelkora", "zelkora-cli"
    QString name;     // the card's name in a manifest; empty elsewhere
    QString computer; // the host name of the computer that sent it; empty in older records

    QJsonObject toJson() const;
    static std::optional<UploadRecord> fromJson(const QJsonObject &object);
    static QString OutcomeWord(Outcome outcome);
    // Local time with its offset to UTC, "2026-12-08T18:01:42+01:00" (with milliseconds:
    // "2026-12-08T18:01:42.204+01:00").
    static QString TimeText(const QDateTime &when, bool milliseconds = false);
    // "2026-12-08 18:01 von zelkora-cli", for sentences about a record.
    QString whenAndWho() const;
    // Whether this record says anything about what the card holds: failures from before the
    // first byte (older journals recorded those, at block 0) do not.
    bool touchedCard() const { return outcome != Outcome::Failed || block > 0; }
};

// What the journal knows a card holds.
struct CardState
{
    enum class Kind
    {
        Never,   // no upload to it in the journal
        Holds,   // its last upload completed: `last` is that upload
        Unknown, // its last upload began and did not end, or did not complete: `last`
    };
    Kind kind = Kind::Never;
    std::optional<UploadRecord> last;
    // "unbekannt: letzte Übertragung nicht beendet (2026-12-08 18:01 von zelkora-cli)"
    QString unknownReason() const;
    // The last upload began and has no end record.
    bool unfinished() const
    {
        return kind == Kind::Unknown && last->outcome == UploadRecord::Outcome::Begun;
    }
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
    // Whether a record could be appended now, without writing one: empty, or why not. A
    // journal that is no regular file (a FIFO, a device) is refused.
    QString checkWritable() const;
    // Every readable record, oldest first. A journal larger than MaxReadBytes is read from
    // its end; cutNote then says so (empty when the whole journal was read).
    std::vector<UploadRecord> read(QString *cutNote = nullptr) const;
    // What the card that `key` names holds, by its newest record that touched it.
    static CardState StateOf(const std::vector<UploadRecord> &records, const QString &key);
    CardState state(const QString &key, QString *cutNote = nullptr) const;
    // A kept image by its hash; nothing when it is missing or not what the hash says.
    std::optional<ConfigImage> image(const QByteArray &hash) const;

private:
    QString m_folder;
};
