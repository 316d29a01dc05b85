#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Who this computer is to a device server that wants a client certificate: a new key and a
// self-signed certificate for it, both in PEM. The key is EC P-256 (every TLS 1.2 stack
// takes it); the certificate names `name` as its common name, is for client authentication
// and is valid from an hour ago (clocks differ) for `validDays`.
struct ClientIdentity
{
    QByteArray certificatePem;
    QByteArray keyPem;
};

std::optional<ClientIdentity> MakeClientIdentity(const QString &name, int validDays, QString *why);
