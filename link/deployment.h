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

// What an upload would change on each card, against its last complete upload in the journal.
struct PlannedCard
{
    const DeployCard *card = nullptr;
    std::optional<UploadRecord> last;     // the last complete upload; none: never uploaded
    std::optional<ConfigImage> lastImage; // its image, where the journal kept it
    bool unchanged() const { return last && last->hash == card->hash; }
};
std::vector<PlannedCard> PlanDeployment(const Manifest &manifest, const UploadJournal &journal);

// The report of a deployment, one entry per card of the manifest: name, port, project, hash,
// result with reason, and times.
struct DeployOutcome
{
    const DeployCard *card = nullptr;
    bool skipped = false; // unchanged, with --only-changed
    const CardJob *job = nullptr;
};
QByteArray DeployReportJson(const std::vector<DeployOutcome> &outcomes);
