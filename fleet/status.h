#pragma once

#include "fleet/deployment.h"
#include "fleet/uploadjournal.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class CardBatch;

// What one status round found of a card: whether it answered the version poll, its firmware
// and sensors, its last upload by the journal and, with a manifest, how it stands against its
// project. Read only: a status round asks the version and a measurement, nothing else.
struct CardStatus
{
    QString name; // the manifest's name, or the port as given
    QString port; // as given
    bool reachable = false;
    bool busy = false; // another program or user holds its line: left alone
    QString reason;    // why the card did not answer, or its measurement failed; else empty
    int version = -1;  // -1 where it did not answer
    std::optional<std::array<int, 4>> measurement; // three °C, then % relative humidity
    std::optional<Standing> standing;              // with a manifest
    int changes = -1; // Changed: how many fields differ; -1 where the held image is missing
    std::optional<UploadRecord> last; // the newest record that touched the card

    std::optional<bool> firmwareOk() const;
    // Answered with the accepted firmware, was measured and (with a manifest) is current.
    bool healthy() const;
};

struct StatusRound
{
    QDateTime when;
    std::vector<CardStatus> cards;
    bool healthy() const;
};

// The round of a Status batch that has run. manifest: the cards' projects, in the batch's
// order; nullptr for ports as given. records: the journal's, oldest first.
StatusRound CollectStatus(const CardBatch &batch, const Manifest *manifest,
                          const std::vector<UploadRecord> &records, const UploadJournal &journal);

// The round as one JSON document ("zelkora-status", version 1), indented or on one line;
// docs/anlage-json.md describes it.
QByteArray StatusJson(const StatusRound &round, bool oneLine = false);
// The round in Prometheus's text format, for the node exporter's text-file collector. A value
// that was not read (the temperature of a card that did not answer) is left out, never 0.
QByteArray StatusMetrics(const StatusRound &round);
