#include "fleet/status.h"

#include "link/cardbatch.h"
#include "link/linkengine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<bool> CardStatus::firmwareOk() const
{
    if (!reachable || version < 0)
        return std::nullopt;
    return version == LinkEngine::AcceptedVersion;
}

bool CardStatus::healthy() const
{
    return reachable && firmwareOk().value_or(false) && reason.isEmpty() &&
           (!standing || *standing == Standing::Current);
}

bool StatusRound::healthy() const
{
    for (const CardStatus &card : cards)
        if (!card.healthy())
            return false;
    return true;
}

StatusRound CollectStatus(const CardBatch &batch, const Manifest *manifest,
                          const std::vector<UploadRecord> &records, const UploadJournal &journal)
{
    StatusRound round;
    round.when = QDateTime::currentDateTime();
    std::vector<PlannedCard> planned;
    if (manifest)
        planned = PlanDeployment(*manifest, records, journal);
    for (std::size_t i = 0; i < batch.jobs().size(); ++i) {
        const CardJob &job = *batch.jobs()[i];
        CardStatus card;
        card.port = job.target().text;
        card.name = manifest ? manifest->cards[i].name : card.port;
        card.version = job.version();
        // A measurement answers too: measure asks no version.
        card.reachable = job.version() >= 0 || job.measured();
        card.busy = job.failure().kind == FailureKind::Busy;
        if (!job.ok())
            card.reason = job.failureText();
        if (job.measured())
            card.measurement = job.measurement();
        const CardState state =
            manifest ? planned[i].state : UploadJournal::StateOf(records, job.cardKey());
        card.last = state.last;
        if (manifest) {
            card.standing = planned[i].standing;
            if (planned[i].standing == Standing::Changed && planned[i].lastImage)
                card.changes = int(planned[i].changes.size());
        }
        round.cards.push_back(card);
    }
    return round;
}

QByteArray StatusJson(const StatusRound &round, bool oneLine)
{
    QJsonArray cards;
    for (const CardStatus &c : round.cards) {
        QJsonObject card;
        card.insert(QStringLiteral("name"), c.name);
        card.insert(QStringLiteral("port"), c.port);
        card.insert(QStringLiteral("erreichbar"), c.reachable);
        if (!c.reason.isEmpty())
            card.insert(QStringLiteral("grund"), c.reason);
        card.insert(QStringLiteral("version"),
                    c.version >= 0 ? QJsonValue(c.version) : QJsonValue());
        const std::optional<bool> firmware = c.firmwareOk();
        card.insert(QStringLiteral("version_ok"), firmware ? QJsonValue(*firmware) : QJsonValue());
        if (c.measurement) {
            const std::array<int, 4> &m = *c.measurement;
            QJsonObject measured;
            measured.insert(QStringLiteral("temperaturen"), QJsonArray{m[0], m[1], m[2]});
            measured.insert(QStringLiteral("feuchte"), m[3]);
            card.insert(QStringLiteral("messung"), measured);
        } else {
            card.insert(QStringLiteral("messung"), QJsonValue());
        }
        card.insert(QStringLiteral("stand"),
                    c.standing ? QJsonValue(StandingWord(*c.standing)) : QJsonValue());
        if (c.standing == Standing::Changed && c.changes >= 0)
            card.insert(QStringLiteral("aenderungen"), c.changes);
        if (c.last) {
            QJsonObject last;
            last.insert(QStringLiteral("zeit"), UploadRecord::TimeText(c.last->when));
            last.insert(QStringLiteral("programm"), c.last->program);
            last.insert(QStringLiteral("rechner"),
                        c.last->computer.isEmpty() ? QJsonValue() : QJsonValue(c.last->computer));
            last.insert(QStringLiteral("ergebnis"), UploadRecord::OutcomeWord(c.last->outcome));
            last.insert(QStringLiteral("hash"), QString::fromLatin1(c.last->hash));
            card.insert(QStringLiteral("letzte_uebertragung"), last);
        } else {
            card.insert(QStringLiteral("letzte_uebertragung"), QJsonValue());
        }
        cards.append(card);
    }
    QJsonObject status;
    status.insert(QStringLiteral("format"), QStringLiteral("zelkora-status"));
    status.insert(QStringLiteral("version"), 1);
    status.insert(QStringLiteral("zeit"), UploadRecord::TimeText(round.when));
    status.insert(QStringLiteral("karten"), cards);
    return QJsonDocument(status).toJson(oneLine ? QJsonDocument::Compact : QJsonDocument::Indented);
}

namespace {

// A label value in the text format: backslash, double quote and line feed escaped.
QByteArray LabelValue(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

struct Metric
{
    const char *name;
    const char *help;
};

// One family: HELP and TYPE, then a sample for each card that has a value.
class MetricsText
{
public:
    void family(const Metric &metric)
    {
        m_name = metric.name;
        m_text += QByteArray("# HELP ") + metric.name + ' ' + metric.help + '\n';
        m_text += QByteArray("# TYPE ") + metric.name + " gauge\n";
    }
    void sample(const CardStatus &card, qint64 value, const QByteArray &extraLabel = {})
    {
        m_text += m_name + "{card=\"" + LabelValue(card.name) + "\",port=\"" +
                  LabelValue(card.port) + '"' + extraLabel + "} " + QByteArray::number(value) +
                  '\n';
    }
    QByteArray &text() { return m_text; }

private:
    QByteArray m_name;
    QByteArray m_text;
};

} // namespace

QByteArray StatusMetrics(const StatusRound &round)
{
    MetricsText out;
    out.family({"zelkora_card_up", "Whether the card answered its version poll (1) or not (0)."});
    for (const CardStatus &c : round.cards)
        out.sample(c, c.reachable ? 1 : 0);
    out.family({"zelkora_card_firmware_ok",
                "Whether the card reported the accepted firmware version (1) or another (0)."});
    for (const CardStatus &c : round.cards)
        if (const std::optional<bool> ok = c.firmwareOk())
            out.sample(c, *ok ? 1 : 0);
    out.family({"zelkora_card_temperature_celsius", "Temperature the card's sensor measured."});
    for (const CardStatus &c : round.cards)
        if (c.measurement)
            for (int sensor = 0; sensor < 3; ++sensor)
                out.sample(c, (*c.measurement)[sensor],
                           ",sensor=\"" + QByteArray::number(sensor + 1) + '"');
    out.family({"zelkora_card_humidity_percent", "Relative humidity the card measured."});
    for (const CardStatus &c : round.cards)
        if (c.measurement)
            out.sample(c, (*c.measurement)[3]);
    out.family({"zelkora_card_in_sync",
                "Whether the card holds its manifest project by the upload journal (1) or not "
                "(0)."});
    for (const CardStatus &c : round.cards)
        if (c.standing)
            out.sample(c, *c.standing == Standing::Current ? 1 : 0);
    out.family({"zelkora_card_last_upload_timestamp_seconds",
                "When the last upload to the card was recorded, in seconds since the epoch."});
    for (const CardStatus &c : round.cards)
        if (c.last)
            out.sample(c, c.last->when.toSecsSinceEpoch());
    out.family({"zelkora_status_timestamp_seconds",
                "When this status round read the cards, in seconds since the epoch."});
    out.text() += "zelkora_status_timestamp_seconds " +
                  QByteArray::number(round.when.toSecsSinceEpoch()) + '\n';
    return out.text();
}
