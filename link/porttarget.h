#pragma once

#include "link/addressforms.h"

#include <QString>

// Why a text names no port; put into words by AddressError (linkfailure.h).
enum class AddressProblem
{
    None,
    Empty,
    NoSuchEntry,     // "COM 0", "COM 10"
    Folder,          // a path to a folder
    File,            // a path to a regular file
    UnknownScheme,   // detail: the scheme
    UnclosedBracket, // "[fd00::5:4001"
    NotIPv6,         // detail: what stood in brackets
    NoPort,
    UnbracketedIPv6, // detail: the host
    NoHost,
    BadHost, // detail: the host
    BadPort, // detail: the port as written
};

// A port as the user names it, parsed once: an entry of the port list ("COM 3"), a device
// path, or a serial device server on the network in one of the address forms SCHEME://HOST:PORT
// (AddressForms). HOST is a name, an IPv4 address or an IPv6 address in brackets; PORT is 1 to
// 65535.
struct PortTarget
{
    enum class Kind
    {
        Invalid,   // error says why
        ListEntry, // "COM n", resolved as the window does
        Device,    // a path
        Network,   // an address; form says which
    };

    Kind kind = Kind::Invalid;
    QString text;  // as the user gave it
    int entry = 0; // ListEntry: 1 to 9 (0 for a window's choice that names no entry)
    QString path;  // Device
    const AddressForm *form = nullptr; // Network
    QString host;                      // Network: without brackets
    quint16 port = 0;
    AddressProblem problem = AddressProblem::None; // Invalid: why
    QString detail;                                // Invalid: the part it concerns

    bool valid() const { return kind != Kind::Invalid; }
    bool isNetwork() const { return kind == Kind::Network; }
    // The row that opens this target: the local one for entries and paths.
    const AddressForm &addressForm() const { return form ? *form : LocalForm(); }
    // "gw:4001", "[fd00::5]:4001": the far end of a network target.
    QString address() const;
    // The canonical address text, rfc2217://gw:4001.
    QString url() const;

    static PortTarget Parse(const QString &text);
    // The window's port choice as its list's text: an entry by the window's rule
    // (PortListNumber), whatever the text holds, never refused here.
    static PortTarget ListChoice(const QString &portListText);
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
