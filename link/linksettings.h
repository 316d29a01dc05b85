#pragma once

#include <QString>

class PortEnvironment;

// What every transport may need to open its line, handed to the factories.
struct LinkSettings
{
    // Where "COM n" is looked up and local failures are explained; must outlive the transport.
    const PortEnvironment *environment = nullptr;
    // TLS: the client's certificate and key presented to every server, a CA file trusted
    // beside the system's and the file of recorded server fingerprints. Empty paths: none.
    QString certificateFile;
    QString keyFile;
    QString caFile;
    QString knownServersFile;

    // The settings with every empty path taken from the configuration folder of the
    // environment (client.crt, client.key, ca.crt, known_servers).
    LinkSettings resolved() const;
};
