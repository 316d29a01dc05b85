#include "cardlink.h"

#include "linkclock.h"
#include "linkengine.h"
#include "serialport.h"
#include "ui_unit1.h"
#include "unit1.h"
#include "unit2.h"

#include <QDateTime>
#include <QLineEdit>
#include <QTimer>

CardLink::CardLink(TForm1 &window)
    : QObject(&window), m_window(window), m_port(new SerialPort(this)),
      m_clock(new LinkClock(this)),
      m_engine(new LinkEngine(*m_port, window.configImage(), *m_clock, this))
{
    Ui::TForm1 &ui = window.controls();

    connect(window.Timer1, &QTimer::timeout, this, &CardLink::Timer1Timer);
    connect(window.Timer2, &QTimer::timeout, this, &CardLink::Timer2Timer);
    connect(ui.Button1, &QPushButton::clicked, this, &CardLink::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, m_engine, &LinkEngine::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, m_engine, &LinkEngine::Button3Click);
    // Only the user's changes reopen: picking an entry (even the one shown) or typing.
    // Text set by the program, as the settings file does, opens nothing.
    connect(ui.ComboBox1, &QComboBox::textActivated, this, &CardLink::ComboBox1Change);
    connect(ui.ComboBox1->lineEdit(), &QLineEdit::textEdited, this, &CardLink::ComboBox1Change);
    connect(m_port, &SerialPort::portLost, this, &CardLink::showPortState);

    connect(m_engine, &LinkEngine::progressChanged, ui.ProgressBar1, &QProgressBar::setValue);
    connect(m_engine, &LinkEngine::measurementShown, this,
            [&ui](const QString &t1, const QString &t2, const QString &t3, const QString &h) {
                ui.Label44->setText(t1);
                ui.Label46->setText(t2);
                ui.Label48->setText(t3);
                ui.Label50->setText(h);
            });
    connect(m_engine, &LinkEngine::uploadCompleted, this, &CardLink::showTransferDialog);
    connect(m_engine, &LinkEngine::sendDisabled, ui.Button1,
            [&ui] { ui.Button1->setEnabled(false); });

    connect(m_clock, &LinkClock::clockTextChanged, ui.Label2, &QLabel::setText);
    connect(m_clock, &LinkClock::linkTextChanged, ui.Label1, &QLabel::setText);
    connect(m_clock, &LinkClock::versionTextChanged, ui.Label39, &QLabel::setText);
}

CardLink::~CardLink() = default;

void CardLink::ConnectPort()
{
    m_port->ConnectPort(m_window.controls().ComboBox1->currentText());
    showPortState();
}

void CardLink::ComboBox1Change()
{
    m_port->ComboBox1Change(m_window.controls().ComboBox1->currentText());
    showPortState();
}

void CardLink::Timer1Timer()
{
    m_engine->Timer1Timer();
}

void CardLink::Timer2Timer()
{
    m_clock->Timer2Timer(QDateTime::currentDateTime(), *m_engine);
}

void CardLink::Button1Click()
{
    m_window.inarray();
    m_engine->Button1Click();
}

void CardLink::showPortState()
{
    QComboBox *list = m_window.controls().ComboBox1;
    const bool open = m_port->PortOpen();
    list->setStyleSheet(open ? QStringLiteral("QComboBox { background-color: rgb(0, 255, 0); }")
                             : QStringLiteral("QComboBox { background-color: rgb(255, 0, 0); }"));
    list->setToolTip(open || m_port->LastFailure().isEmpty()
                         ? m_port->LastDevice()
                         : m_port->LastDevice() + QStringLiteral(": ") + m_port->LastFailure());
}

void CardLink::showTransferDialog()
{
    // Shown without a nested event loop of its own inside the tick, so both timers go on
    // ticking while it is open; it still blocks the window until "Ok".
    if (TForm2 *dialog = m_window.transferDialog())
        dialog->open();
}
