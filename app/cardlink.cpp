#include "app/cardlink.h"

#include "fleet/uploadrecording.h"
#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/linkfailure.h"
#include "link/measurementtext.h"
#include "link/portresolver.h"
#include "link/targetkey.h"
#include "link/transport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

CardLink::CardLink(const CardLinkControls &controls, const ConfigImage &image,
                   std::function<void()> capture, std::function<void()> showCompletion,
                   QObject *parent)
    : QObject(parent), m_controls(controls), m_session(new CardSession(image, this)),
      m_capture(std::move(capture)), m_showCompletion(std::move(showCompletion)), m_image(image)
{
    const CardLinkControls &c = m_controls;
    connect(c.send, &QPushButton::clicked, this, &CardLink::Button1Click);
    connect(c.reset, &QPushButton::clicked, this, &CardLink::Button2Click);
    connect(c.measure, &QPushButton::clicked, this, &CardLink::Button3Click);
    // Only the user's changes reopen: picking an entry (even the one shown) or typing.
    // Text set by the program, as the settings file does, opens nothing.
    connect(c.portList, &QComboBox::textActivated, this, &CardLink::ComboBox1Change);
    connect(c.portList->lineEdit(), &QLineEdit::textEdited, this, &CardLink::ComboBox1Change);

    connect(m_session, &CardSession::portStateChanged, this, &CardLink::showPortState);
    m_portView = c.portList->view();
    m_portView->installEventFilter(this);
    connect(m_session, &CardSession::progressChanged, c.progress, &QProgressBar::setValue);
    connect(m_session, &CardSession::measured, this, &CardLink::showMeasurement);
    connect(m_session, &CardSession::uploadCompleted, this, [this] {
        record(UploadRecord::Outcome::Complete);
        if (m_showCompletion)
            m_showCompletion();
    });
    connect(&m_session->engine(), &LinkEngine::uploadDisturbed, this, &CardLink::uploadDisturbed);
    connect(m_session, &CardSession::lineLost, this, &CardLink::lineLost);
    connect(m_session, &CardSession::sendDisabled, c.send,
            [send = c.send] { send->setEnabled(false); });
    connect(m_session, &CardSession::clockTextChanged, c.clockLabel, &QLabel::setText);
    connect(m_session, &CardSession::linkReported, this, &CardLink::showLinkStatus);
}

CardLink::~CardLink() = default;

Transport &CardLink::transport()
{
    return m_session->transport();
}

LinkEngine &CardLink::engine()
{
    return m_session->engine();
}

void CardLink::ConnectPort()
{
    m_session->ConnectPort(m_controls.portList->currentText());
}

void CardLink::ComboBox1Change()
{
    // Another choice may be another card: what was said of the last one no longer holds.
    if (cardMidUpload())
        release();
    m_wasOpen = false;
    m_session->ComboBox1Change(m_controls.portList->currentText());
}

namespace {
// After an upload the window gave up itself; an unfinished one says it in its own words.
const QString HeldUntilReset = QStringLiteral(".\n\nBis „Reset“ bekommt die Karte nichts gesendet");
} // namespace

bool CardLink::cardMidUpload() const
{
    return m_cutOff.failed() || m_disturbed.failed() || m_unfinished.has_value();
}

void CardLink::release()
{
    m_cutOff = {};
    m_disturbed = {};
    m_unfinished.reset();
    m_session->setHeld(false);
    if (m_heldBox)
        m_heldBox->close();
}

void CardLink::tellHeld(const QString &why)
{
    if (m_heldBox)
        return;
    m_heldBox =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Datenübertragung"),
                        why + QLatin1Char('.'), QMessageBox::Ok, m_controls.portList->window());
    m_heldBox->setObjectName(QStringLiteral("CardHeldBox"));
    m_heldBox->setAttribute(Qt::WA_DeleteOnClose);
    m_heldBox->setWindowModality(Qt::NonModal);
    m_heldBox->show();
}

void CardLink::Button1Click()
{
    if (m_capture)
        m_capture();
    // The card first needs its reset: "Send" waits for the user's "Reset", as the list says.
    if (cardMidUpload())
        return;
    m_session->Send();
    if (m_session->LinkStep() == LinkEngine::UploadAsked)
        record(UploadRecord::Outcome::Begun); // before "D" leaves at the next tick
}

void CardLink::recordBrokenOff(const QString &how)
{
    const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
    if ((at.phase == LinkEngine::UploadPosition::Starting ||
         at.phase == LinkEngine::UploadPosition::Blocks) &&
        !cardMidUpload())
        record(UploadRecord::Outcome::Failed, how, std::max(1, at.block));
}

void CardLink::Button2Click()
{
    // "Reset" in the middle of an upload ends it: the card waits for the rest of its block.
    recordBrokenOff(QStringLiteral("mit Reset abgebrochen"));
    // After an upload left unfinished, "Reset" is the user's word that the card was reset:
    // the journal says so, and the card is polled again.
    if (m_unfinished)
        record(UploadRecord::Outcome::Failed,
               QStringLiteral("nicht beendet; Karte zurückgesetzt (Reset)"),
               std::max(1, m_unfinished->block));
    m_session->Reset();
    const bool wasHeld = cardMidUpload();
    release();
    if (wasHeld)
        showPortState();
}

void CardLink::Button3Click()
{
    recordBrokenOff(QStringLiteral("mit Messen abgebrochen"));
    m_session->Measure();
}

void CardLink::uploadDisturbed(int block)
{
    // No success: the card may count blocks otherwise than we do and must be sent again.
    m_disturbed.kind = FailureKind::UploadDisturbed;
    m_disturbed.block = block;
    record(UploadRecord::Outcome::Disturbed, DescribeFailure(m_disturbed, m_session->environment()),
           block);
    m_session->setHeld(true);
    showPortState();
    tellHeld(DescribeFailure(m_disturbed, m_session->environment()) + HeldUntilReset);
}

void CardLink::lineLost()
{
    // Lost in the middle of the blocks, a cable as a server: the card waits for the rest of
    // its block. Said once in a box and held until "Reset". (A port the user switches away
    // from is closed, not lost: the next card must not be charged with this one's upload.)
    const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
    if (at.phase != LinkEngine::UploadPosition::Blocks || m_cutOff.failed())
        return;
    m_cutOff.kind = FailureKind::CutOff;
    m_cutOff.block = at.block;
    const QString said = DescribeFailure(m_cutOff, m_session->environment());
    record(UploadRecord::Outcome::CutOff, said, at.block);
    m_session->setHeld(true);
    showPortState();
    tellHeld(said + HeldUntilReset);
}

void CardLink::checkJournalOnOpen()
{
    if (cardMidUpload())
        return;
    const CardState state = UploadJournal().state(cardKey());
    if (!state.unfinished())
        return;
    m_unfinished = state.last;
    m_session->setHeld(true);
    tellHeld(unfinishedNote());
}

QString CardLink::unfinishedNote() const
{
    return QStringLiteral("Übertragung vom %1 nicht beendet: die Karte kann mitten in einer "
                          "Übertragung stehen und bekommt nichts gesendet. Karte zurücksetzen, "
                          "dann „Reset“ drücken")
        .arg(m_unfinished->whenAndWho());
}

void CardLink::showPortState()
{
    QComboBox *list = m_controls.portList;
    const Transport &line = transport();
    const bool open = line.PortOpen();
    if (open && !m_wasOpen)
        checkJournalOnOpen();
    m_wasOpen = open;
    // Red also while the card must be reset first: nothing is sent to it.
    list->setStyleSheet(open && !cardMidUpload()
                            ? QStringLiteral("QComboBox { background-color: rgb(0, 255, 0); }")
                            : QStringLiteral("QComboBox { background-color: rgb(255, 0, 0); }"));
    // While open, only a problem of the line itself (a server that confirmed other settings)
    // is named; after a failure, its cause.
    const LinkFailure &problem = open ? line.lineProblem() : line.failure();
    // A device gone in the middle of the blocks is said once, by the cut-off with its block.
    QString detail = problem.kind == FailureKind::Gone && m_cutOff.failed()
                         ? QString()
                         : DescribeFailure(problem, m_session->environment());
    QStringList notes;
    if (m_cutOff.failed())
        notes << DescribeFailure(m_cutOff, m_session->environment());
    if (m_disturbed.failed())
        notes << DescribeFailure(m_disturbed, m_session->environment());
    if (m_unfinished)
        notes << unfinishedNote();
    if (!notes.isEmpty())
        detail += (detail.isEmpty() ? QString() : QStringLiteral("; ")) +
                  notes.join(QStringLiteral("; "));
    // A line inside TLS names how it is protected and whom it reached (the server's fingerprint).
    if (const QString security = open ? line.security() : QString(); !security.isEmpty())
        detail = detail.isEmpty() ? security : security + QStringLiteral("; ") + detail;
    QString tip = detail.isEmpty() ? line.farEnd() : line.farEnd() + QStringLiteral(": ") + detail;
    if (line.state() == Transport::State::Opening)
        tip = line.farEnd() + QStringLiteral(": Verbindung wird aufgebaut");
    if (!m_journalProblem.isEmpty())
        tip += QStringLiteral("\nNicht im Journal vermerkt: ") + m_journalProblem;
    list->setToolTip(tip);
}

QString CardLink::cardKey() const
{
    // A server by the address it answered on: no name is looked up on the window's thread.
    if (const QString reached = m_session->transport().reachedKey(); !reached.isEmpty())
        return reached;
    const QString text = m_controls.portList->currentText();
    return TargetKey(PortTarget::Parse(QStringLiteral("COM %1").arg(PortListNumber(text))),
                     m_session->environment());
}

void CardLink::record(UploadRecord::Outcome outcome, const QString &reason, int block)
{
    const UploadRecord r = SessionRecord(*m_session, m_controls.portList->currentText(), cardKey(),
                                         m_projectPath ? m_projectPath() : QString(),
                                         QStringLiteral("zelkora"), outcome, reason, block);
    const QString failed = UploadJournal().append(r, m_image);
    if (failed != m_journalProblem) {
        m_journalProblem = failed;
        showPortState();
    }
}

void CardLink::showEntryDevices()
{
    QComboBox *list = m_controls.portList;
    // The system's ports are read once for all entries, and only when the list opens.
    const QStringList entries = DescribePortEntries(m_session->environment());
    for (int i = 0; i < list->count() && i < entries.size(); ++i)
        list->setItemData(i, entries[i], Qt::ToolTipRole);
}

bool CardLink::eventFilter(QObject *watched, QEvent *event)
{
    // The entries name the devices they stand for when the list opens, not as they were.
    // Compared by the pointer kept at the start: the list itself may already be on its way
    // out when its view sends its last events.
    if (event->type() == QEvent::Show && watched == m_portView)
        showEntryDevices();
    return QObject::eventFilter(watched, event);
}

void CardLink::showMeasurement(int t1, int t2, int t3, int humidity)
{
    const std::array<int, 3> temperatures{t1, t2, t3};
    for (std::size_t i = 0; i < temperatures.size(); ++i)
        m_controls.temperatures[i]->setText(TemperatureText(temperatures[i]));
    m_controls.humidity->setText(HumidityText(humidity));
}

void CardLink::showLinkStatus(bool connected, bool wrongVersion)
{
    m_controls.linkLabel->setText(connected ? QStringLiteral("verbunden")
                                            : QStringLiteral("ni. verbunden"));
    m_controls.versionLabel->setText(wrongVersion ? QStringLiteral("Rel Karte falsche Version")
                                                  : QString());
}
