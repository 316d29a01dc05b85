#pragma once

#include <QString>

// A port as the user names it, parsed once: an entry of the port list ("COM 3"), a device
// path, or a serial device server on the network in the address forms that network-serial
// tools share: rfc2217://HOST:PORT (Telnet with the Com Port Control Option, which sets the
// line), socket://HOST:PORT or tcp://HOST:PORT (the bytes as they are; the server's own
// configuration sets the line). HOST is a name, an IPv4 address or an IPv6 address in
// brackets; PORT is 1 to 65535.
struct PortTarget
{
    enum class Kind
    {
        Invalid,   // error says why
        ListEntry, // "COM n", resolved as the window does
        Device,    // a path
        Rfc2217,
        RawTcp,
    };

    Kind kind = Kind::Invalid;
    QString text;  // as the user gave it
    int entry = 0; // ListEntry: 1 to 9
    QString path;  // Device
    QString host;  // Rfc2217, RawTcp: without brackets
    quint16 port = 0;
    QString error; // Invalid: one German line

    bool valid() const { return kind != Kind::Invalid; }
    bool isNetwork() const { return kind == Kind::Rfc2217 || kind == Kind::RawTcp; }
    // "gw:4001", "[fd00::5]:4001": the far end of a network target.
    QString address() const;
    // The canonical address text, rfc2217://gw:4001.
    QString url() const;

    static PortTarget Parse(const QString &text);
};

// The number of a port list entry: "COM 3" as the window's list and the command line write it,
// "COM3", and the device name "Com3" of the mode string; 1 to 9. 0 for anything else, COM 0
// and COM 10 and above among it.
int ComNumber(const QString &text);
// The window's rule for the text of its port list: only the character behind "COM " counts,
// so "COM 34" is COM 3. 1 to 9; 0 where that character is no such digit.
int PortListNumber(const QString &portListText);

// Whether text is written like an address (a scheme followed by "://"), right or wrong: such a
// text is never looked up as a path.
bool LooksLikeAddress(const QString &text);

class QHostAddress;
// The key of a server port by the address a connection reached.
QString NetworkKey(const QHostAddress &address, int port);
