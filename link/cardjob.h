#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>

class CardSession;
class ConfigImage;

// One errand with one card, on a card session of its own, for tools that serve many cards at
// once: open the port, ask the version, then upload the image or read the sensors. The
// engine has no time-out of its own (the window's user presses "Reset"); an errand gives up
// when the card leaves an expected byte out for TimeoutMs, and says at which step.
class CardJob : public QObject
{
    Q_OBJECT

public:
    enum class Task
    {
        Version, // ask the version byte only
        Upload,  // the version must be 137, then the image goes out
        Measure, // the three temperatures and the humidity
    };
    // How long a card may leave an expected byte out.
    static constexpr int TimeoutMs = 2000;

    // port: "COM n" (looked up as the window does) or a device path. The image must outlive
    // the job; the upload reads it block by block as it goes out.
    CardJob(const QString &port, Task task, const ConfigImage &image, QObject *parent = nullptr);
    ~CardJob() override;

    // Starts the errand; `finished` follows, always exactly once.
    void start();

    QString port() const { return m_port; }
    // The device that was opened or tried.
    QString device() const;
    bool done() const { return m_done; }
    bool ok() const { return m_ok; }
    // Why it failed, in one German line: "keine Bestätigung für Block 12 von 32".
    QString failure() const { return m_failure; }
    int version() const { return m_version; } // -1 until the card answered
    // Upload progress as the window's bar shows it: 0 to 71.
    int progress() const { return m_progress; }
    // Measurement: three temperatures in °C and the humidity in percent.
    const std::array<int, 4> &measurement() const { return m_measurement; }

    // Whether a text names a port of the list ("COM 3", "com3"); then its entry text.
    static bool IsPortListName(const QString &text, QString *entry = nullptr);

signals:
    void progressChanged(int value);
    void finished(bool ok);

private:
    enum class Stage
    {
        Idle,
        Version,
        Upload,
        Measure,
        Done
    };
    void check();
    void askVersion();
    void finish(bool ok, const QString &failure = {});
    QString stalledAt() const;
    // The engine moved: the card has another TimeoutMs for its next byte.
    void markProgress();

    QString m_port;
    Task m_task;
    CardSession *m_session = nullptr;
    Stage m_stage = Stage::Idle;
    QElapsedTimer m_sinceProgress;
    int m_lastStep = -1;
    int m_lastMeasureCount = 0;
    bool m_done = false;
    bool m_ok = false;
    QString m_failure;
    int m_version = -1;
    int m_progress = 0;
    std::array<int, 4> m_measurement{};
};
