#pragma once

#include "config/configimage.h"
#include "fleet/manifest.h"
#include "fleet/uploadjournal.h"
#include "link/cardjob.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class PortEnvironment;

// How a card stands against its project in a manifest, by the journal.
enum class Standing
{
    Current, // its last upload completed, and its image is the project by meaning
    Changed, // its last upload completed, but the project differs now
    Never,   // no upload of it in the journal
    Unknown, // its last upload began and did not end, or did not complete: reset and send
};
// "aktuell", "geändert", "nie übertragen", "unbekannt"
QString StandingWord(Standing standing);

// What an upload would change on each card, against what the journal says it holds. A card
// whose last upload did not complete is unknown, never unchanged.
struct PlannedCard
{
    const DeployCard *card = nullptr;
    CardState state;
    std::optional<ConfigImage> lastImage; // the held upload's image, where the journal kept it
    // Changed: the fields that differ, by meaning; empty where the held image is missing.
    QStringList changes;
    Standing standing = Standing::Never;
    bool unchanged() const
    {
        return state.kind == CardState::Kind::Holds && state.last->hash == card->hash;
    }
};
// records: the journal's, oldest first; journal: where the images are kept.
std::vector<PlannedCard> PlanDeployment(const Manifest &manifest,
                                        const std::vector<UploadRecord> &records,
                                        const UploadJournal &journal = UploadJournal());

// The report of a deployment, one entry per card of the manifest: name, port, project, hash,
// result with reason, and times with their offset to UTC; of a plan, what would be sent.
struct DeployOutcome
{
    const DeployCard *card = nullptr;
    bool skipped = false; // unchanged, with --only-changed
    const CardJob *job = nullptr;
    // A plan (--plan): nothing was sent; the card is "geplant" unless skipped, with its
    // standing against the journal.
    const PlannedCard *planned = nullptr;
};
QByteArray DeployReportJson(const std::vector<DeployOutcome> &outcomes);
