#pragma once

#include "link/cardjob.h"
#include "link/linksettings.h"

#include <QObject>

#include <memory>
#include <vector>

class ConfigImage;

// The same errand with many cards at once, each on its own line: the command-line tool's
// upload, version and measure, and the benchmarks. All run side by side in one event loop;
// run returns when every card has ended.
class CardBatch : public QObject
{
    Q_OBJECT

public:
    // The image must outlive the batch.
    CardBatch(const std::vector<PortTarget> &targets, CardJob::Task task, const ConfigImage &image,
              QObject *parent = nullptr);
    // Each card its own image (a building's cards each with their project); the images must
    // outlive the batch.
    struct Errand
    {
        PortTarget target;
        const ConfigImage *image = nullptr;
    };
    CardBatch(const std::vector<Errand> &errands, CardJob::Task task, QObject *parent = nullptr);
    ~CardBatch() override;

    const std::vector<std::unique_ptr<CardJob>> &jobs() const { return m_jobs; }
    // What every card's line presents and trusts (TLS); before run.
    void setLinkSettings(const LinkSettings &settings);
    // Starts every errand and runs the event loop until all have ended.
    void run();
    bool allOk() const;

signals:
    // A card's upload moved on.
    void progressed(CardJob *job);
    // A card's errand has ended, well or not.
    void jobFinished(CardJob *job);

private:
    void add(const PortTarget &target, CardJob::Task task, const ConfigImage &image);

    std::vector<std::unique_ptr<CardJob>> m_jobs;
    int m_running = 0;
};
