#pragma once

#include <QString>

#include <span>

class QObject;
class Transport;

// How the bytes of the card travel inside a connection.
enum class Carriage
{
    Local,   // a serial port of this machine
    Raw,     // the bytes as they are; the server's configuration sets the line
    Rfc2217, // Telnet with the Com Port Control Option, which sets the line
};

// One way of naming a line: a local port, or one of the address forms SCHEME://HOST:PORT
// that network-serial tools share. Everything that parses, writes back, keys, explains or
// opens a line takes it from these rows.
struct AddressForm
{
    const char *scheme; // "rfc2217"; empty for the local row
    Carriage carries;
    bool tls;
    // Another spelling of the form of this scheme (tcp for socket): read, but written back
    // as that form; null for a form of its own.
    const char *aliasOf;
    const char *help; // one line for the command-line help
    Transport *(*make)(QObject *parent);

    bool isNetwork() const { return carries != Carriage::Local; }
    // The form written back: the row itself, or the one an alias stands for.
    const AddressForm &written() const;
};

// The factories of the rows, each defined beside its transport.
Transport *MakeSerialPort(QObject *parent);
Transport *MakeNetworkPort(QObject *parent);
Transport *MakeTlsPort(QObject *parent);

// Every row, the local one first.
std::span<const AddressForm> AddressForms();
const AddressForm &LocalForm();
// The network form of a scheme (case-insensitive, without "://"); null for none.
const AddressForm *FormOfScheme(const QString &scheme);
// "rfc2217://, socket:// oder tcp://", for the texts that list what is accepted.
QString SchemeList();
// "rfc2217://HOST:PORT oder socket://HOST:PORT": the forms written back, not their aliases.
QString AddressFormList();
