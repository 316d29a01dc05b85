#pragma once

#include "fleet/uploadjournal.h"
#include "link/uploadrecorder.h"

#include <QString>

#include <functional>

class CardSession;

// The journal's record of an upload on `session`: what its line reached, the image's hash,
// and the final block's bytes where they went out (complete, or stopped at block 33). project
// is made absolute.
UploadRecord SessionRecord(const CardSession &session, const QString &port, const QString &key,
                           const QString &project, const QString &program, UploadOutcome outcome,
                           const QString &reason = {}, int block = 0);

// Records the uploads of errands in a journal: the begun record before the first byte, the
// end record with how it ended. One recorder serves a whole batch; `project` and `name` say
// each job's project file and its name in a manifest (empty where there is none).
class JournalRecorder : public UploadRecorder
{
public:
    using Naming = std::function<QString(const CardJob &)>;
    // The journal must outlive the recorder.
    JournalRecorder(const UploadJournal &journal, const QString &program, Naming project,
                    Naming name = {});

    QString uploadBegun(const CardJob &job) override;
    QString uploadEnded(const CardJob &job) override;
    // The job's record as it stands: begun while it runs.
    UploadRecord record(const CardJob &job) const;

private:
    const UploadJournal &m_journal;
    QString m_program;
    Naming m_project;
    Naming m_name;
};
