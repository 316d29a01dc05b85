#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <string>
#include <vector>

// A TCP port on 127.0.0.1 that nothing listens on right now; another process may still take
// it before the caller does, so a server started on it must be checked and tried again.
int FreeLoopbackPort();

// Debian's ser2net on 127.0.0.1, in front of devices (the virtual card's pseudo-terminals),
// each served twice: as Telnet with RFC 2217 and as raw TCP, on free ports, from a generated
// configuration. For tests and benchmarks; never on any address but loopback.
class Ser2netRig
{
public:
    struct Options
    {
        // The device's line as ser2net sets it on open; RFC 2217 clients change it.
        std::string deviceLine = "9600n81";
        // ser2net's own default holds replies for about two character times.
        bool chardelay = false;
        bool kickOldUser = false;
        // TLS in front of both ports (ser2net's ssl layer): the server's key and certificate,
        // and with clientauth the folder of allowed client certificates per user name.
        struct Tls
        {
            std::string key, cert;
            std::string authDir; // empty: no client authentication
        };
        std::optional<Tls> tls;
    };

    Ser2netRig();
    ~Ser2netRig();
    Ser2netRig(const Ser2netRig &) = delete;
    Ser2netRig &operator=(const Ser2netRig &) = delete;

    // Whether ser2net is installed.
    static bool Available();
    static QString Program();

    // Writes the configuration and starts ser2net; waits until every port accepts. The ports
    // stay the same across stop and a later start.
    bool start(const std::vector<std::string> &devices, const Options &options, std::string *error);
    bool start(std::string *error) { return start(m_devices, m_options, error); }
    void stop();
    bool running() const;

    int rfc2217Port(std::size_t i) const { return m_ports.at(2 * i); }
    int rawPort(std::size_t i) const { return m_ports.at(2 * i + 1); }
    QString rfc2217Url(std::size_t i) const;
    QString rawUrl(std::size_t i) const;

private:
    QString scheme(const char *plain) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    std::vector<std::string> m_devices;
    Options m_options;
    std::vector<int> m_ports;
};

// Certificates for TLS tests, made in a folder by the openssl program: a CA, a server
// certificate it signed for 127.0.0.1, one it signed with dates long past, and a server
// certificate for 127.0.0.1 that signed itself. Each with its key beside it (NAME.key).
struct TestPki
{
    QString folder;
    QString ca, server, expired, selfSigned; // the .crt files

    static QString KeyOf(const QString &certificate);
    // The SHA-256 of a certificate file as hex pairs with colons ("AB:CD:…").
    static QString FingerprintOf(const QString &certificate);
    bool make(const QString &folder, std::string *error);
    // A client certificate made by the openssl program, self-signed, common name name.
    bool makeClient(const QString &name, QString *certificate, std::string *error) const;
};

// Puts a client certificate where ser2net's clientauth looks for the user name
// (authDir/NAME/allowed_certs/) and rehashes that folder.
bool AllowClient(const QString &authDir, const QString &name, const QString &certificate,
                 std::string *error);
