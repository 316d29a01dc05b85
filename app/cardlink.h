#pragma once

#include "fleet/uploadjournal.h"
#include "link/linkfailure.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>

class CardSession;
class ConfigImage;
class LinkEngine;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class Transport;

// The widgets the card link drives.
struct CardLinkControls
{
    QComboBox *portList = nullptr;          // ComboBox1
    QPushButton *send = nullptr;            // Button1
    QPushButton *reset = nullptr;           // Button2
    QPushButton *measure = nullptr;         // Button3
    QProgressBar *progress = nullptr;       // ProgressBar1
    QLabel *linkLabel = nullptr;            // Label1
    QLabel *clockLabel = nullptr;           // Label2
    QLabel *versionLabel = nullptr;         // Label39
    std::array<QLabel *, 3> temperatures{}; // Label44, Label46, Label48
    QLabel *humidity = nullptr;             // Label50
};

// The card link of the main window: one card session, wired to the buttons, the port list,
// the progress bar and the status labels, with the window's texts for what the session
// reports.
class CardLink : public QObject
{
    Q_OBJECT

public:
    // capture copies the page on show into the image before an upload starts;
    // showCompletion shows the transfer dialog when the card took the whole upload.
    CardLink(const CardLinkControls &controls, const ConfigImage &image,
             std::function<void()> capture, std::function<void()> showCompletion,
             QObject *parent = nullptr);
    ~CardLink() override;

    // The project file an upload's journal record names; none by default.
    void setProjectSource(std::function<QString()> projectPath)
    {
        m_projectPath = std::move(projectPath);
    }

    CardSession &session() { return *m_session; }
    // The line the port list's choice opened or tried: a serial port or a device server.
    Transport &transport();
    LinkEngine &engine();

    // Opens the port named by the port list's text, then colours the list and names the
    // device (and, after a failure, why) in its tooltip. Start-up calls this once.
    void ConnectPort();
    // A change of the port list's text by the user: picked from the list or typed.
    void ComboBox1Change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Button1Click();
    void showPortState();
    // Each entry's tooltip: the device "COM n" stands for right now.
    void showEntryDevices();
    void showMeasurement(int t1, int t2, int t3, int humidity);
    void showLinkStatus(bool connected, bool wrongVersion);
    void Button2Click();
    void Button3Click();
    void uploadDisturbed(int block);
    void lineLost();
    // One record in the upload journal; a journal that cannot be written is named in the
    // list's tooltip, and the upload is not affected.
    void record(UploadRecord::Outcome outcome, const QString &reason = {}, int block = 0);
    // What the journal calls the card behind the port list's choice.
    QString cardKey() const;
    // A card just reached: where its last upload began and never ended, it may wait in the
    // middle of one and would take the version polls as its configuration, so nothing is
    // sent to it until the user says with "Reset" that it was reset.
    void checkJournalOnOpen();
    // Ends an upload under way by the user's word ("Reset", "Messen"), in the journal.
    void recordBrokenOff(const QString &how);
    // Nothing goes to the card until "Reset" while it may be in the middle of an upload.
    bool cardMidUpload() const;
    // Says so where the user looks, once each time the card is held: a box beside the window
    // that waits for no one, so the timers and the list go on.
    void tellHeld(const QString &why);
    QString unfinishedNote() const;
    void release();

    CardLinkControls m_controls;
    QObject *m_portView = nullptr; // the port list's drop-down, whose showing refreshes it
    CardSession *m_session = nullptr;
    std::function<void()> m_capture;
    std::function<void()> m_showCompletion;
    // A line lost in the middle of an upload: the card waits for the rest of its block, so the
    // tooltip says so until the user resets or sends anew.
    LinkFailure m_cutOff;
    // An upload given up because the line was disturbed: the same until "Reset".
    LinkFailure m_disturbed;
    // The journal's record of an upload that began and never ended, found when the port
    // opened; none when there was none.
    std::optional<UploadRecord> m_unfinished;
    bool m_wasOpen = false;
    QPointer<QMessageBox> m_heldBox;
    std::function<QString()> m_projectPath;
    const ConfigImage &m_image;
    QString m_journalProblem;
};
