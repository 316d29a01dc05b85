#include "fleet/deployment.h"

#include "forms/projecttext.h"
#include "link/portresolver.h"
#include "link/targetkey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString StandingWord(Standing standing)
{
    switch (standing) {
    case Standing::Current:
        return QStringLiteral("aktuell");
    case Standing::Changed:
        return QStringLiteral("geändert");
    case Standing::Never:
        return QStringLiteral("nie übertragen");
    case Standing::Unknown:
        break;
    }
    return QStringLiteral("unbekannt");
}

std::vector<PlannedCard> PlanDeployment(const Manifest &manifest,
                                        const std::vector<UploadRecord> &records,
                                        const UploadJournal &journal)
{
    std::vector<PlannedCard> plan;
    for (const DeployCard &card : manifest.cards) {
        PlannedCard planned;
        planned.card = &card;
        planned.state = UploadJournal::StateOf(
            records, TargetKey(card.target, SystemPortEnvironment::Instance()));
        if (planned.state.kind == CardState::Kind::Holds && !planned.unchanged())
            planned.lastImage = journal.image(planned.state.last->hash);
        if (planned.lastImage)
            planned.changes = DiffProjects(*planned.lastImage, card.image);
        switch (planned.state.kind) {
        case CardState::Kind::Never:
            planned.standing = Standing::Never;
            break;
        case CardState::Kind::Unknown:
            planned.standing = Standing::Unknown;
            break;
        case CardState::Kind::Holds:
            // Bytes that differ nowhere in meaning are the same project.
            planned.standing =
                planned.unchanged() || (planned.lastImage && planned.changes.isEmpty())
                    ? Standing::Current
                    : Standing::Changed;
            break;
        }
        plan.push_back(planned);
    }
    return plan;
}

QByteArray DeployReportJson(const std::vector<DeployOutcome> &outcomes)
{
    QJsonArray cards;
    for (const DeployOutcome &o : outcomes) {
        QJsonObject card;
        card.insert(QStringLiteral("name"), o.card->name);
        card.insert(QStringLiteral("port"), o.card->target.text);
        card.insert(QStringLiteral("projekt"), o.card->project);
        card.insert(QStringLiteral("hash"), QString::fromLatin1(o.card->hash));
        if (o.planned)
            card.insert(QStringLiteral("stand"), StandingWord(o.planned->standing));
        if (o.skipped) {
            card.insert(QStringLiteral("ergebnis"), QStringLiteral("übersprungen"));
            card.insert(QStringLiteral("grund"),
                        QStringLiteral("unverändert seit der letzten Übertragung"));
        } else if (o.planned) {
            card.insert(QStringLiteral("ergebnis"), QStringLiteral("geplant"));
        } else if (o.job) {
            const bool ok = o.job->ok();
            card.insert(QStringLiteral("ergebnis"), UploadRecord::OutcomeWord(o.job->outcome()));
            if (!ok)
                card.insert(QStringLiteral("grund"), o.job->failureText());
            card.insert(QStringLiteral("beginn"), UploadRecord::TimeText(o.job->startedAt(), true));
            card.insert(QStringLiteral("ende"), UploadRecord::TimeText(o.job->finishedAt(), true));
        }
        cards.append(card);
    }
    QJsonObject report;
    report.insert(QStringLiteral("format"), QStringLiteral("zelkora-bericht"));
    report.insert(QStringLiteral("version"), 1);
    report.insert(QStringLiteral("karten"), cards);
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}
