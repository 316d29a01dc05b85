#include "link/cardbatch.h"

#include "link/cardsession.h"

#include <QEventLoop>

CardBatch::CardBatch(const std::vector<PortTarget> &targets, CardJob::Task task,
                     const ConfigImage &image, QObject *parent)
    : QObject(parent)
{
    for (const PortTarget &target : targets)
        add(target, task, image);
}

CardBatch::CardBatch(const std::vector<Errand> &errands, CardJob::Task task, QObject *parent)
    : QObject(parent)
{
    for (const Errand &errand : errands)
        add(errand.target, task, *errand.image);
}

void CardBatch::add(const PortTarget &target, CardJob::Task task, const ConfigImage &image)
{
    m_jobs.push_back(std::make_unique<CardJob>(target, task, image));
    CardJob *job = m_jobs.back().get();
    connect(job, &CardJob::progressChanged, this, [this, job] { emit progressed(job); });
    connect(job, &CardJob::finished, this, [this, job] {
        --m_running;
        emit jobFinished(job);
    });
}

CardBatch::~CardBatch() = default;

void CardBatch::run()
{
    QEventLoop loop;
    m_running = int(m_jobs.size());
    connect(this, &CardBatch::jobFinished, &loop, [this, &loop] {
        if (m_running == 0)
            loop.quit();
    });
    for (const auto &job : m_jobs)
        job->start();
    if (m_running > 0)
        loop.exec();
}

bool CardBatch::allOk() const
{
    for (const auto &job : m_jobs)
        if (!job->ok())
            return false;
    return true;
}

void CardBatch::setLinkSettings(const LinkSettings &settings)
{
    for (const std::unique_ptr<CardJob> &job : m_jobs)
        job->session().setLinkSettings(settings);
}
