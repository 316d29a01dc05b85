#pragma once

#include "link/linkfailure.h"
#include "link/porttarget.h"
#include "link/uploadrecorder.h"

#include <QDateTime>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>

class CardSession;
class ConfigImage;
class QTimer;

// One errand with one card, on a card session of its own, for tools that serve many cards at
// once: open the port or connect to the device server, ask the version, then upload the image
// or read the sensors. The engine has no time-out of its own (the window's user presses
// "Reset"); an errand gives up when the card leaves an expected byte out for TimeoutMs, and
// says at which step. A line lost in the middle of an upload is never tried again by itself:
// the card waits for the rest of its block, so the failure says where it was cut off.
class CardJob : public QObject
{
    Q_OBJECT

public:
    enum class Task
    {
        Version, // ask the version byte only
        Upload,  // the version must be 137, then the image goes out
        Measure, // the three temperatures and the humidity
        // The version, then (from a card with the accepted firmware) the measurement; read
        // only: nothing else is sent.
        Status,
    };
    // How long a card may leave an expected byte out.
    static constexpr int TimeoutMs = 2000;
    // After the reply to "L" or "T": longer than a reply takes on the wire, so bytes still
    // coming belong to no question and the answer is disturbed.
    static constexpr int MeasureSettleMs = 80;
    // Each errand ends by its deadline, counted from when the line is open, however busily
    // the line answers: a version or a measurement in 3 s, an upload in its wire time and 5 s.
    static constexpr int AskDeadlineMs = 3000;
    static constexpr int UploadDeadlineMs = 5000 + int((1 + 512 + 9 + 34) * 4167 / 1000);

    // The image must outlive the job; the upload reads it block by block as it goes out.
    CardJob(const PortTarget &target, Task task, const ConfigImage &image,
            QObject *parent = nullptr);
    ~CardJob() override;

    // Starts the errand; `finished` follows, always exactly once.
    void start();

    const PortTarget &target() const { return m_target; }
    // The port as the user named it, and what it reached ("COM 3 (/dev/ttyUSB0)",
    // "COM 4 (rfc2217://gw:4001)"), for one line per card.
    QString label() const;
    bool done() const { return m_done; }
    bool ok() const { return m_ok; }
    // Why it failed, as a value, and in one German line ("keine Bestätigung für Block 12 von
    // 32").
    const LinkFailure &failure() const { return m_failure; }
    QString failureText() const;
    int version() const { return m_version; } // -1 until the card answered
    // Upload progress as the window's bar shows it: 0 to 71.
    int progress() const { return m_progress; }
    // Measurement: three temperatures in °C and the humidity in percent.
    const std::array<int, 4> &measurement() const { return m_measurement; }
    // Whether a measurement came and was trusted (Measure and Status).
    bool measured() const { return m_measured; }
    // When the errand started and ended, local time.
    QDateTime startedAt() const { return m_startedAt; }
    QDateTime finishedAt() const { return m_finishedAt; }
    // How an upload stands: begun while it runs.
    UploadOutcome outcome() const;
    // Where an upload that was cut off, disturbed or interrupted stood (1 to 32, 33 for the
    // final block), at least 1 once it ended otherwise than complete; 0 while it runs and
    // when it completed.
    int stoppedAtBlock() const;
    // What the card's port really reaches, by the rule every look-up of the journal uses, so a
    // host with addresses of both kinds is found under the key it was recorded with; the same
    // for the whole errand.
    QString cardKey() const;
    const CardSession &session() const { return *m_session; }
    CardSession &session() { return *m_session; }

    // Uploads are recorded here: the beginning right before the first byte goes to the card
    // (an upload whose beginning cannot be recorded sends nothing and fails), and the end
    // when it ends. The recorder must outlive the job.
    void setRecorder(UploadRecorder *recorder) { m_recorder = recorder; }
    // Why the end record could not be written; empty when it was (or none was due).
    const QString &journalProblem() const { return m_journalProblem; }
    // Whether the upload sent its first byte (its beginning was recorded).
    bool began() const { return m_began; }

    // A first end signal: an errand that has not begun its upload ends now, as interrupted;
    // an upload under way is finished, since a card left in the middle would take whatever
    // comes next as its configuration.
    void finishUnderway();
    // A second end signal: ends at once, an upload under way as interrupted at its block.
    void interrupt();

signals:
    void progressChanged(int value);
    void finished(bool ok);

private:
    enum class Stage
    {
        Idle,
        Opening,
        Version,
        VersionSettle,
        Upload,
        Measure,
        MeasureSettle,
        Done
    };
    void begin();
    void check();
    void lineChanged();
    void askVersion();
    void askMeasurement();
    void versionAnswered();
    void startUpload();
    // Reads what the line holds before a command; how many bytes that was.
    int drain();
    void armDeadline(int ms);
    LinkFailure failureHere(FailureKind kind, int value = 0) const;
    void finish(bool ok, const LinkFailure &failure = {});
    LinkFailure stalledAt() const;
    // The engine moved: the card has another TimeoutMs for its next byte.
    void markProgress();

    PortTarget m_target;
    Task m_task;
    CardSession *m_session = nullptr;
    Stage m_stage = Stage::Idle;
    QElapsedTimer m_sinceProgress;
    int m_lastStep = -1;
    int m_lastMeasureCount = 0;
    bool m_done = false;
    bool m_ok = false;
    LinkFailure m_failure;
    bool m_failedOpening = false;
    int m_version = -1;
    int m_progress = 0;
    std::array<int, 4> m_measurement{};
    bool m_measured = false;
    std::int64_t m_bytesAtReading = 0;
    std::int64_t m_bytesAtCommand = 0;
    QTimer *m_deadline = nullptr;
    int m_deadlineMs = 0;
    UploadRecorder *m_recorder = nullptr;
    bool m_began = false;
    mutable QString m_key;
    QString m_journalProblem;
    QDateTime m_startedAt;
    QDateTime m_finishedAt;
};
