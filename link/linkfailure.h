#pragma once

#include "link/cardline.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

class PortEnvironment;
struct PortInfo;

// Why a line could not be opened, went away or why an errand with the card failed. A front
// tells "busy" from "refused" from "stalled at block 12" by the kind, and puts it into words
// with DescribeFailure, the one place where these texts are written.
enum class FailureKind
{
    None,
    // A local port.
    NotFound,   // the device does not exist (a dangling link, an unplugged adapter)
    NoDevice,   // there is no n-th port on this system
    Permission, // the user may not open the device
    Busy,       // another program holds it; a server that says so (its words in systemText)
    Gone,       // it went away while open
    Other,      // anything else; the system's own text says what
    NotSerial,  // the device is no serial line (/dev/null, a disk)
    // A serial device server on the network.
    BadAddress,       // the configuration file com<n> holds no address (systemText: its line)
    HostUnknown,      // the name does not resolve
    Refused,          // nothing listens on that port
    Unreachable,      // no route to the host
    NoAnswer,         // the connection attempt got no answer in time
    Closed,           // the server closed the connection
    NotTelnet,        // rfc2217:// but the server never negotiated: it is a raw port
    IsTelnet,         // socket:// but the server opened with Telnet negotiation
    NoBinary,         // the server refuses Telnet BINARY, so it cannot carry every byte
    NoComPort,        // the server refuses the Com Port Control Option, or never takes it up
    SettingsRejected, // the server confirmed other line settings (setting, value)
    NoNegotiation,    // rfc2217:// but the server sent nothing at all within the connect limit
    DeviceMissing,    // the server cannot open its serial device (systemText: its words)
    NotReading,       // the server takes no data: what waits for it passed the bound
    RunawayTelnet,    // the server negotiates without end (options toggled, commands flooded)
    // A device server over TLS.
    TlsNotSpoken,           // a TLS address, but the server answered the handshake with no TLS
    TlsExpected,            // a plain address, but the server speaks TLS
    HandshakeStalled,       // the TLS handshake did not finish within the connect limit
    ClientRefused,          // the server closed right after the handshake: our certificate is
                            // missing there or not allowed (systemText: its common name; empty:
                            // none was presented)
    ServerUnknown,          // the server's certificate is neither from a trusted CA for this host
                            // nor recorded for it (fingerprint)
    ServerChanged,          // another certificate than the one recorded for this host and port
                            // (fingerprint, recordedFingerprint)
    CertificateExpired,     // validFrom, validUntil
    CertificateNotYetValid, // validFrom, validUntil
    KeyExposed,             // the client's key may be read by group or others (where: the key)
    IdentityBroken,         // the client's certificate or key cannot be used (where: the file)
    TlsFailed,              // any other TLS failure (systemText: the library's words)
    // An errand with the card.
    NoVersion,        // no answer to "L"
    WrongVersion,     // another version byte (value)
    NoUploadAccept,   // no answer to "D"
    BlockStalled,     // no acknowledgement for block `block` (1 to 32)
    FinalStalled,     // no acknowledgement for the final block
    OutOfStep,        // surplus acknowledgements carried the upload off its steps (value)
    CutOff,           // the line went away in the middle of an upload, at block `block`
    NoMeasurement,    // fewer than four measurement bytes (value: how many came)
    Disturbed,        // more bytes than a reading came back (value: how many; 0: too early)
    VersionDisturbed, // the answer to "L" was no version, came too early or had company
                      // (value: the byte that was no version, -1 for the others)
    UploadDisturbed,  // an acknowledgement that no block awaited, or faster than the wire
    Interrupted,      // a second signal ended the upload at `block`
    Deadline,         // the errand had no finished answer within its time (value: ms)
    JournalFailed,    // the upload's first journal record could not be written (systemText)
};

struct LinkFailure
{
    FailureKind kind = FailureKind::None;
    QString where;      // the device path or the address (host:port) it concerns
    QString systemText; // the system's or the server's own words
    int block = 0;      // BlockStalled, CutOff, UploadDisturbed, Interrupted: 1 to 32, 33
                        // for the final block
    int value = 0;      // NoDevice: ports found; WrongVersion: the byte; SettingsRejected: the
                        // confirmed value; NoMeasurement/Disturbed: bytes; OutOfStep: the step
    CardLine::Setting setting = CardLine::Setting::Baud; // SettingsRejected
    // The server certificate's SHA-256 fingerprint ("AB:CD:…"), the one recorded for the
    // server and the certificate's validity, where a TLS failure concerns them.
    QString fingerprint;
    QString recordedFingerprint;
    QDateTime validFrom, validUntil;

    bool failed() const { return kind != FailureKind::None; }
    // A network failure that may pass by itself: worth another connection attempt.
    bool retryable() const;
    // The card may be in the middle of an upload, taking whatever comes next as its
    // configuration: it must be reset before anything else is sent to it.
    bool leavesCardMidUpload() const;
};

// Where in an upload a block stands: "bei Block 12 von 32", or "beim Schlussblock" (block 33).
QString AtBlock(int block);

// The cause in a word or two: "nicht gefunden", "kein Gerät", "keine Berechtigung", "belegt",
// "getrennt", "Verbindung abgelehnt"; systemText for Other, nothing for None.
QString FailureCause(const LinkFailure &failure);

// The cause in German, with what is known of it and what to do where that is known:
// "keine Berechtigung: /dev/ttyUSB0 gehört der Gruppe dialout. Abhilfe: sudo usermod -aG
// dialout anna, danach neu anmelden", "belegt von minicom (PID 4711)", "keine Bestätigung
// für Block 12 von 32". The environment tells groups and lock holders of local devices.
QString DescribeFailure(const LinkFailure &failure, const PortEnvironment &environment);

QString DescribePortFailure(FailureKind failure, const QString &device,
                            const PortEnvironment &environment, int portCount = 0,
                            const QString &systemText = {});

// One line for the entry "COM n" of the port list: the device it stands for right now, with
// what the system knows of the adapter, or that there is none.
QString DescribePortEntry(int n, const PortEnvironment &environment,
                          const std::vector<PortInfo> *known = nullptr);
// All nine entries, the system's ports read once.
QStringList DescribePortEntries(const PortEnvironment &environment);

struct PortTarget;
// Why an entry of the port list cannot be used before anything is opened: its configuration
// file com<n> holds no address (in the words of DescribePortFailure). Empty for every other
// target, and for an entry that may be opened.
QString BadListEntry(const PortTarget &target, const PortEnvironment &environment);

// Why target names no port, one German line ("Port fehlt (HOST:PORT)").
QString AddressError(const PortTarget &target);

// A socket error that names no failure of its own (QAbstractSocket::SocketError), in words.
QString SocketErrorText(int error);
// "lässt sich nicht öffnen: …", for a failure before the line was open.
QString OpeningFailed(const QString &why);
