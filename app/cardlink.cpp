#include "app/cardlink.h"

#include "link/cardsession.h"
#include "link/linkengine.h"
#include "link/portresolver.h"
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
    connect(c.measure, &QPushButton::clicked, m_session, &CardSession::Measure);
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
    m_session->ComboBox1Change(m_controls.portList->currentText());
}

void CardLink::Button1Click()
{
    if (m_capture)
        m_capture();
    m_session->Send();
    if (m_cutOff.failed() && m_session->LinkStep() == LinkEngine::UploadAsked) {
        m_cutOff = {};
        showPortState();
    }
}

void CardLink::Button2Click()
{
    // "Reset" in the middle of an upload ends it: the card waits for the rest of its block.
    const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
    if (at.phase == LinkEngine::UploadPosition::Blocks && !m_cutOff.failed())
        record(UploadRecord::Outcome::Failed, QStringLiteral("mit Reset abgebrochen"), at.block);
    m_session->Reset();
    if (m_cutOff.failed()) {
        m_cutOff = {};
        showPortState();
    }
}

void CardLink::showPortState()
{
    QComboBox *list = m_controls.portList;
    const Transport &line = transport();
    const bool open = line.PortOpen();
    list->setStyleSheet(open ? QStringLiteral("QComboBox { background-color: rgb(0, 255, 0); }")
                             : QStringLiteral("QComboBox { background-color: rgb(255, 0, 0); }"));
    // While open, only a problem of the line itself (a server that confirmed other settings)
    // is named; after a failure, its cause.
    const LinkEngine::UploadPosition at = LinkEngine::PositionOf(m_session->LinkStep());
    // (A local port keeps its short cause, as it always had.)
    if (!open && at.phase == LinkEngine::UploadPosition::Blocks && !m_cutOff.failed() &&
        LooksLikeAddress(line.farEnd())) {
        m_cutOff.kind = FailureKind::CutOff;
        m_cutOff.block = at.block;
        record(UploadRecord::Outcome::CutOff, DescribeFailure(m_cutOff, m_session->environment()),
               at.block);
    }
    const LinkFailure &problem = open ? line.lineProblem() : line.failure();
    QString detail = DescribeFailure(problem, m_session->environment());
    if (m_cutOff.failed())
        detail += (detail.isEmpty() ? QString() : QStringLiteral("; ")) +
                  DescribeFailure(m_cutOff, m_session->environment());
    QString tip = detail.isEmpty() ? line.farEnd() : line.farEnd() + QStringLiteral(": ") + detail;
    if (line.state() == Transport::State::Opening)
        tip = line.farEnd() + QStringLiteral(": Verbindung wird aufgebaut");
    if (!m_journalProblem.isEmpty())
        tip += QStringLiteral("\nNicht im Journal vermerkt: ") + m_journalProblem;
    list->setToolTip(tip);
}

void CardLink::record(UploadRecord::Outcome outcome, const QString &reason, int block)
{
    const QString text = m_controls.portList->currentText();
    // Only the digit behind "COM " counts, as for opening the port.
    const QString key = TargetKey(PortTarget::Parse(QStringLiteral("COM ") + text.mid(4, 1)),
                                  m_session->environment());
    const UploadRecord r =
        m_session->uploadRecord(text, key, m_projectPath ? m_projectPath() : QString(),
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
        m_controls.temperatures[i]->setText(QString::number(temperatures[i]) +
                                            QStringLiteral(" °C"));
    m_controls.humidity->setText(QString::number(humidity) + QStringLiteral(" % rel. LF"));
}

void CardLink::showLinkStatus(bool connected, bool wrongVersion)
{
    m_controls.linkLabel->setText(connected ? QStringLiteral("verbunden")
                                            : QStringLiteral("ni. verbunden"));
    m_controls.versionLabel->setText(wrongVersion ? QStringLiteral("Rel Karte falsche Version")
                                                  : QString());
}
