#pragma once

#include <QObject>

class LinkClock;
class LinkEngine;
class SerialPort;
class TForm1;

// The card link of the main window: owns the serial port, the protocol engine and the clock,
// and wires them to Timer1, Timer2, the buttons, the port list and the status labels.
class CardLink : public QObject
{
    Q_OBJECT

public:
    explicit CardLink(TForm1 &window);
    ~CardLink() override;

    SerialPort &serialPort() { return *m_port; }
    LinkEngine &engine() { return *m_engine; }
    LinkClock &clock() { return *m_clock; }

    // Opens the port named by the port list's text, then colours the list and names the
    // device (and, after a failure, why) in its tooltip. Start-up calls this once.
    void ConnectPort();
    // A change of the port list's text by the user: picked from the list or typed.
    void ComboBox1Change();

private:
    void Timer1Timer();
    void Timer2Timer();
    void Button1Click();
    void showPortState();
    void showTransferDialog();

    TForm1 &m_window;
    SerialPort *m_port = nullptr;
    LinkClock *m_clock = nullptr;
    LinkEngine *m_engine = nullptr;
};
