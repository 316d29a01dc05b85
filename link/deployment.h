#pragma once

#include "config/configimage.h"
#include "link/cardjob.h"
#include "link/porttarget.h"
#include "link/uploadjournal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class PortEnvironment;

// A building's cards from a manifest, each with its own project:
//   {"format": "zelkora-anlage", "version": 1,
//    "karten": [{"name": "Keller", "port": "rfc2217://gw-keller:4001", "projekt": "keller.rel"}]}
// Read strictly, like the project JSON: every problem is named by its path in the manifest
// ("karten[2].port: Port fehlt (HOST:PORT)"), and the same card named twice (also under two
// names of one device or address) is refused before anything is sent.
struct DeployCard
{
    QString name;
    PortTarget target;
    QString project; // absolute
    ConfigImage image;
    QByteArray hash;
};

struct Manifest
{
    static constexpr int Version = 1;
    std::vector<DeployCard> cards;
};

// Reads a project from a file (.rel or JSON); nothing and the reason when it is refused.
using ProjectLoader = std::function<std::optional<ConfigImage>(const QString &path, QString *why)>;

// The manifest's text; project paths are relative to baseDir. Empty problems when it reads.
Manifest ReadManifest(const QByteArray &text, const QString &baseDir, const ProjectLoader &loader,
                      const PortEnvironment &environment, QStringList *problems);

// What an upload would change on each card, against what the journal says it holds. A card
// whose last upload did not complete is unknown, never unchanged.
struct PlannedCard
{
    const DeployCard *card = nullptr;
    CardState state;
    std::optional<ConfigImage> lastImage; // the held upload's image, where the journal kept it
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
// result with reason, and times.
struct DeployOutcome
{
    const DeployCard *card = nullptr;
    bool skipped = false; // unchanged, with --only-changed
    const CardJob *job = nullptr;
};
QByteArray DeployReportJson(const std::vector<DeployOutcome> &outcomes);
