#pragma once

#include <QString>

class QSslCertificate;

// The servers whose certificate the user accepted with `zelkora-cli trust`, as ssh keeps its
// known hosts: one a line, "HOST:PORT FINGERPRINT" (HOST as the address names it, an IPv6
// address in brackets), FINGERPRINT the certificate's SHA-256 as hex pairs with colons. Lines
// starting with # and blank lines are left as they are.

// "AB:CD:…": the SHA-256 of the certificate's DER form.
QString Fingerprint(const QSslCertificate &certificate);

// The fingerprint recorded for address ("gw:4001"), empty where there is none (the file
// missing among it). Host names compare without regard to case.
QString RecordedFingerprint(const QString &file, const QString &address);

// Records fingerprint for address, replacing an older record of it; the file is written whole
// beside itself and renamed, so a reader never sees half of it. False with the reason in
// German.
bool RecordFingerprint(const QString &file, const QString &address, const QString &fingerprint,
                       QString *error);
