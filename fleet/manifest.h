#pragma once

#include "config/configimage.h"
#include "link/porttarget.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// The manifest's text; project paths are relative to baseDir, each read as a project file (.rel
// or JSON). Empty problems when it reads.
Manifest ReadManifest(const QByteArray &text, const QString &baseDir,
                      const PortEnvironment &environment, QStringList *problems);
