#include "link/linkfailure.h"

#include "link/linkengine.h"
#include "link/portresolver.h"
#include "link/porttarget.h"

#include <optional>

#include <QAbstractSocket>
#include <QFileInfo>

namespace {

QString SettingText(CardLine::Setting setting, int value)
{
    switch (setting) {
    case CardLine::Setting::Baud:
        return QStringLiteral("%1 Baud statt %2").arg(value).arg(CardLine::Baud);
    case CardLine::Setting::DataBits:
        return QStringLiteral("%1 Datenbits statt %2").arg(value).arg(CardLine::DataBits);
    case CardLine::Setting::Parity: {
        // The codes of RFC 2217's SET-PARITY.
        static const char *const names[] = {"?", "keine", "ungerade", "gerade", "Mark", "Space"};
        const QString name =
            value >= 1 && value <= 5 ? QString::fromUtf8(names[value]) : QString::number(value);
        return QStringLiteral("Parität %1 statt keine").arg(name);
    }
    case CardLine::Setting::StopBits:
        // 1 = one, 2 = two, 3 = one and a half stop bits.
        return QStringLiteral("%1 Stoppbits statt %2")
            .arg(value == 3 ? QStringLiteral("1,5") : QString::number(value))
            .arg(CardLine::StopBits);
    }
    return {};
}

} // namespace

QString AtBlock(int block)
{
    return block > LinkEngine::BlockCount
               ? QStringLiteral("beim Schlussblock")
               : QStringLiteral("bei Block %1 von %2").arg(block).arg(LinkEngine::BlockCount);
}

namespace {

// A server without TLS hands the client's TLS greeting on to the card as if it were data.
const QString GreetingReachedCard =
    QStringLiteral("; die Karte kann die TLS-Begrüßung als Daten erhalten haben: vor der "
                   "nächsten Übertragung zurücksetzen");

// The scheme of the form beside the one of the address where: another carriage, or with or
// without TLS ("rfc2217+tls://" for "rfc2217://gw:4001" and tls).
QString OtherForm(const QString &where, std::optional<Carriage> carries, std::optional<bool> tls)
{
    const AddressForm &now = PortTarget::Parse(where).addressForm().written();
    for (const AddressForm &form : AddressForms()) {
        if (form.aliasOf || !form.isNetwork() || form.carries != carries.value_or(now.carries) ||
            form.tls != tls.value_or(now.tls))
            continue;
        return QLatin1String(form.scheme) + QStringLiteral("://");
    }
    return {};
}

} // namespace

bool LinkFailure::retryable() const
{
    switch (kind) {
    case FailureKind::HostUnknown:
    case FailureKind::Refused:
    case FailureKind::Unreachable:
    case FailureKind::NoAnswer:
    case FailureKind::Closed:
    case FailureKind::DeviceMissing: // the adapter at the server may be plugged in again
        return true;
    default:
        return false;
    }
}

bool LinkFailure::leavesCardMidUpload() const
{
    switch (kind) {
    case FailureKind::BlockStalled:
    case FailureKind::FinalStalled:
    case FailureKind::OutOfStep:
    case FailureKind::CutOff:
    case FailureKind::UploadDisturbed:
        return true;
    case FailureKind::Interrupted:
        return block > 0; // at 0 no upload had begun
    default:
        return false;
    }
}

QString FailureCause(const LinkFailure &failure)
{
    switch (failure.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::NotFound:
        return QStringLiteral("nicht gefunden");
    case FailureKind::NoDevice:
        return QStringLiteral("kein Gerät");
    case FailureKind::Permission:
        return QStringLiteral("keine Berechtigung");
    case FailureKind::Busy:
        return QStringLiteral("belegt");
    case FailureKind::Gone:
        return QStringLiteral("getrennt");
    case FailureKind::Other:
        return failure.systemText;
    case FailureKind::NotSerial:
        return QStringLiteral("kein serieller Anschluss");
    case FailureKind::BadAddress:
        return QStringLiteral("keine gültige Adresse");
    case FailureKind::HostUnknown:
        return QStringLiteral("Rechnername unbekannt");
    case FailureKind::Refused:
        return QStringLiteral("Verbindung abgelehnt");
    case FailureKind::Unreachable:
        return QStringLiteral("nicht erreichbar");
    case FailureKind::NoAnswer:
        return QStringLiteral("keine Antwort auf den Verbindungsaufbau");
    case FailureKind::Closed:
        return QStringLiteral("vom Server getrennt");
    case FailureKind::NotTelnet:
        return QStringLiteral("Server verhandelt kein RFC 2217");
    case FailureKind::IsTelnet:
        return QStringLiteral("Server spricht Telnet");
    case FailureKind::NoBinary:
        return QStringLiteral("Server lehnt Telnet BINARY ab");
    case FailureKind::NoComPort:
        return QStringLiteral("Server stellt die Leitung nicht ein");
    case FailureKind::NoNegotiation:
        return QStringLiteral("Server antwortet nicht auf die Telnet-Verhandlung");
    case FailureKind::DeviceMissing:
        return QStringLiteral("Gerät am Server fehlt");
    case FailureKind::NotReading:
        return QStringLiteral("Server nimmt keine Daten an");
    case FailureKind::RunawayTelnet:
        return QStringLiteral("Server verhandelt Telnet ohne Ende");
    case FailureKind::TlsNotSpoken:
        return QStringLiteral("Server spricht kein TLS");
    case FailureKind::TlsExpected:
        return QStringLiteral("Server erwartet TLS");
    case FailureKind::HandshakeStalled:
        return QStringLiteral("TLS-Aushandlung nicht beendet");
    case FailureKind::ClientRefused:
        return QStringLiteral("Server lehnt das Client-Zertifikat ab");
    case FailureKind::ServerUnknown:
        return QStringLiteral("unbekanntes Server-Zertifikat");
    case FailureKind::ServerChanged:
        return QStringLiteral("Server-Zertifikat hat sich geändert");
    case FailureKind::CertificateExpired:
        return QStringLiteral("Server-Zertifikat abgelaufen");
    case FailureKind::CertificateNotYetValid:
        return QStringLiteral("Server-Zertifikat noch nicht gültig");
    case FailureKind::KeyExposed:
        return QStringLiteral("Schlüssel für andere lesbar");
    case FailureKind::IdentityBroken:
        return QStringLiteral("Client-Zertifikat unbrauchbar");
    case FailureKind::TlsFailed:
        return QStringLiteral("TLS-Fehler: ") + failure.systemText;
    case FailureKind::SettingsRejected:
        return QStringLiteral("Server bestätigt ") + SettingText(failure.setting, failure.value);
    case FailureKind::NoVersion:
        return QStringLiteral("keine Antwort auf die Versionsabfrage (L)");
    case FailureKind::WrongVersion:
        return QStringLiteral("falsche Version %1 (erwartet %2)")
            .arg(failure.value)
            .arg(LinkEngine::AcceptedVersion);
    case FailureKind::NoUploadAccept:
        return QStringLiteral("keine Antwort auf den Upload-Befehl (D)");
    case FailureKind::BlockStalled:
        return QStringLiteral("keine Bestätigung für Block %1 von %2")
            .arg(failure.block)
            .arg(LinkEngine::BlockCount);
    case FailureKind::FinalStalled:
        return QStringLiteral("keine Bestätigung für den Schlussblock");
    case FailureKind::OutOfStep:
        return QStringLiteral("Upload aus dem Takt (Schritt %1)").arg(failure.value);
    case FailureKind::CutOff:
        return QStringLiteral("Verbindung getrennt");
    case FailureKind::NoMeasurement:
        return QStringLiteral("keine Messwerte (T): %1 von 4 Bytes").arg(failure.value);
    case FailureKind::Disturbed:
        return failure.value > 0
                   ? QStringLiteral("Messung gestört: %1 Bytes statt 4").arg(failure.value)
                   : QStringLiteral("Messung gestört: Antwort schneller als die Leitung");
    case FailureKind::VersionDisturbed:
        return failure.value >= 0
                   ? QStringLiteral("Versionsabfrage gestört: Antwort %1 ist keine Version")
                         .arg(failure.value)
                   : QStringLiteral("Versionsabfrage gestört: Antwort schneller als die "
                                    "Leitung oder mehr als ein Byte");
    case FailureKind::UploadDisturbed:
        return QStringLiteral("Leitung gestört ") + AtBlock(failure.block);
    case FailureKind::Interrupted:
        if (failure.block == 0)
            return QStringLiteral("durch ein Signal beendet, bevor etwas übertragen wurde");
        return QStringLiteral("unterbrochen ") + AtBlock(failure.block);
    case FailureKind::Deadline:
        return QStringLiteral("keine fertige Antwort in %1 s").arg(failure.value / 1000.0);
    case FailureKind::JournalFailed:
        return QStringLiteral("nicht gesendet, das Journal nimmt die Übertragung nicht auf: ") +
               failure.systemText;
    }
    return {};
}

QString DescribeFailure(const LinkFailure &failure, const PortEnvironment &environment)
{
    const QString cause = FailureCause(failure);
    switch (failure.kind) {
    case FailureKind::NoDevice:
        return failure.value == 1
                   ? cause + QStringLiteral(" (1 serieller Anschluss gefunden)")
                   : cause +
                         QStringLiteral(" (%1 serielle Anschlüsse gefunden)").arg(failure.value);
    case FailureKind::Permission: {
        const QString group = environment.DeviceGroup(failure.where);
        if (group.isEmpty() || group == QLatin1String("root"))
            return cause;
        const QString node = QFileInfo(failure.where).canonicalFilePath();
        return cause +
               QStringLiteral(": %1 gehört der Gruppe %2. Abhilfe: sudo usermod -aG %2 %3, "
                              "danach neu anmelden")
                   .arg(node.isEmpty() ? failure.where : node, group, environment.UserName());
    }
    case FailureKind::Busy: {
        // A server says so in its own words; a local port's holder is told by its lock file.
        if (LooksLikeAddress(failure.where))
            return failure.systemText.isEmpty()
                       ? cause
                       : cause + QStringLiteral(" (Server meldet: %1)").arg(failure.systemText);
        const std::optional<PortHolder> holder = environment.LockHolder(failure.where);
        if (!holder)
            return cause;
        return cause + QStringLiteral(" von %1 (PID %2)")
                           .arg(holder->program.isEmpty() ? QStringLiteral("einem Programm")
                                                          : holder->program)
                           .arg(holder->pid);
    }
    case FailureKind::BadAddress:
        return cause + QStringLiteral(" in %1: „%2“ (erwartet %3)")
                           .arg(failure.where, failure.systemText, AddressFormList());
    case FailureKind::DeviceMissing:
        return cause + QStringLiteral(" (Server meldet: %1)").arg(failure.systemText);
    case FailureKind::Closed:
        return failure.systemText.isEmpty()
                   ? cause
                   : QStringLiteral("Verbindung verloren (%1)").arg(failure.systemText);
    case FailureKind::Unreachable:
        return failure.systemText.isEmpty()
                   ? cause
                   : cause + QStringLiteral(" (%1)").arg(failure.systemText);
    case FailureKind::NotTelnet:
        return cause + QStringLiteral("; für einen rohen TCP-Port %1 verwenden")
                           .arg(OtherForm(failure.where, Carriage::Raw, std::nullopt));
    case FailureKind::IsTelnet:
        return cause + QStringLiteral("; für diesen Port %1 verwenden")
                           .arg(OtherForm(failure.where, Carriage::Rfc2217, std::nullopt));
    case FailureKind::TlsNotSpoken:
        return cause +
               QStringLiteral(" (ohne TLS: %1)").arg(OtherForm(failure.where, std::nullopt, false));
    case FailureKind::TlsExpected:
        return cause +
               QStringLiteral(": %1 verwenden").arg(OtherForm(failure.where, std::nullopt, true));
    case FailureKind::HandshakeStalled:
        return cause +
               QStringLiteral(" (keine Antwort in %1 s; spricht der Server TLS?)")
                   .arg(failure.value / 1000) +
               GreetingReachedCard;
    case FailureKind::ClientRefused:
        if (failure.systemText.isEmpty())
            return QStringLiteral("Server lehnt die Verbindung ohne Client-Zertifikat ab: "
                                  "zelkora-cli keygen erzeugt eines");
        return cause + QStringLiteral(": das Zertifikat mit dem Namen „%1“ fehlt dort oder ist "
                                      "nicht zugelassen (auf dem Server nach "
                                      "authdir/%1/allowed_certs/ kopieren und den Ordner mit "
                                      "openssl rehash neu einlesen, wie zelkora-cli keygen es "
                                      "ausgab)")
                           .arg(failure.systemText);
    case FailureKind::ServerUnknown:
        return cause + QStringLiteral(" SHA256 %1; prüfen und mit zelkora-cli trust %2 aufnehmen")
                           .arg(failure.fingerprint, failure.where);
    case FailureKind::ServerChanged:
        return QStringLiteral("WARNUNG: ") + cause +
               QStringLiteral(": aufgezeichnet SHA256 %1, jetzt SHA256 %2; nichts gesendet, der "
                              "Eintrag bleibt. Nur wenn der Wechsel gewollt ist: zelkora-cli "
                              "trust %3")
                   .arg(failure.recordedFingerprint, failure.fingerprint, failure.where);
    case FailureKind::CertificateExpired:
    case FailureKind::CertificateNotYetValid:
        return cause + QStringLiteral(" (gültig von %1 bis %2)")
                           .arg(failure.validFrom.toUTC().toString(Qt::ISODate),
                                failure.validUntil.toUTC().toString(Qt::ISODate));
    case FailureKind::KeyExposed:
        return QStringLiteral("Schlüssel %1 ist für andere lesbar; Abhilfe: chmod 600 %1")
            .arg(failure.where);
    case FailureKind::IdentityBroken:
        return cause + QStringLiteral(": %1: %2").arg(failure.where, failure.systemText);
    case FailureKind::NoBinary:
        return cause + QStringLiteral(" und kann nicht jedes Byte übertragen");
    case FailureKind::NoComPort:
        return cause + QStringLiteral("; wenn er sie selbst auf %1 %2N%3 hält: socket:// verwenden")
                           .arg(CardLine::Baud)
                           .arg(CardLine::DataBits)
                           .arg(CardLine::StopBits);
    case FailureKind::CutOff:
        // The card waits for the rest of the block and has no time-out of its own.
        return QStringLiteral("Verbindung getrennt ") + AtBlock(failure.block) +
               QStringLiteral(": Übertragung abgebrochen, die Karte vor der nächsten Übertragung "
                              "zurücksetzen");
    default:
        // Whatever else left the card in the middle of an upload says what to do about it.
        return failure.leavesCardMidUpload()
                   ? cause + QStringLiteral(": die Karte zurücksetzen und neu übertragen")
                   : cause;
    }
}

QString DescribePortFailure(FailureKind failure, const QString &device,
                            const PortEnvironment &environment, int portCount,
                            const QString &systemText)
{
    LinkFailure f;
    f.kind = failure;
    f.where = device;
    f.value = portCount;
    f.systemText = systemText;
    return DescribeFailure(f, environment);
}

QStringList DescribePortEntries(const PortEnvironment &environment)
{
    const std::vector<PortInfo> ports = environment.Ports();
    QStringList entries;
    for (int n = 1; n <= 9; ++n)
        entries << DescribePortEntry(n, environment, &ports);
    return entries;
}

QString DescribePortEntry(int n, const PortEnvironment &environment,
                          const std::vector<PortInfo> *known)
{
    const QString entry = QStringLiteral("COM %1: ").arg(n);
    const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(n), environment, known);
    switch (r.source) {
    case PortResolution::Address:
        return entry + (r.address.valid() ? r.address.url()
                                          : DescribePortFailure(FailureKind::BadAddress, r.device,
                                                                environment, 0, r.address.text));
    case PortResolution::Link: {
        const QString target = QFileInfo(r.device).symLinkTarget();
        if (target.isEmpty())
            return entry + r.device;
        return entry + r.device + QStringLiteral(" → ") + target +
               (QFileInfo::exists(r.device) ? QString() : QStringLiteral(" (nicht vorhanden)"));
    }
    case PortResolution::Discovered: {
        QStringList parts{r.device};
        if (!r.info.description.isEmpty())
            parts << r.info.description;
        if (!r.info.manufacturer.isEmpty() && !r.info.description.contains(r.info.manufacturer))
            parts << r.info.manufacturer;
        if (!r.info.serialNumber.isEmpty())
            parts << QStringLiteral("Seriennummer ") + r.info.serialNumber;
        return entry + parts.join(QStringLiteral(", "));
    }
    case PortResolution::Missing:
        return entry + DescribePortFailure(FailureKind::NoDevice, {}, environment, r.count);
    case PortResolution::Invalid:
        break;
    }
    return entry + QStringLiteral("kein Gerät");
}

QString BadListEntry(const PortTarget &target, const PortEnvironment &environment)
{
    if (target.kind != PortTarget::Kind::ListEntry)
        return {};
    const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(target.entry), environment);
    if (r.source != PortResolution::Address || r.address.valid())
        return {};
    return DescribePortFailure(FailureKind::BadAddress, r.device, environment, 0, r.address.text);
}

QString AddressError(const PortTarget &target)
{
    switch (target.problem) {
    case AddressProblem::None:
        return {};
    case AddressProblem::Empty:
        return QStringLiteral("leerer Port");
    case AddressProblem::NoSuchEntry:
        return QStringLiteral("die Portliste hat nur COM 1 bis COM 9");
    case AddressProblem::Folder:
        return QStringLiteral("ist ein Ordner, kein serieller Anschluss");
    case AddressProblem::File:
        return QStringLiteral("ist eine Datei, kein serieller Anschluss");
    case AddressProblem::UnknownScheme:
        return QStringLiteral("unbekannte Adressform %1:// (erwartet %2)")
            .arg(target.detail, SchemeList());
    case AddressProblem::UnclosedBracket:
        return QStringLiteral("IPv6-Adresse ohne schließende Klammer");
    case AddressProblem::NotIPv6:
        return QStringLiteral("keine IPv6-Adresse in Klammern: %1").arg(target.detail);
    case AddressProblem::NoPort:
        return QStringLiteral("Port fehlt (HOST:PORT)");
    case AddressProblem::UnbracketedIPv6:
        return QStringLiteral("IPv6-Adressen in Klammern schreiben: [%1]").arg(target.detail);
    case AddressProblem::NoHost:
        return QStringLiteral("Rechnername fehlt");
    case AddressProblem::BadHost:
        return QStringLiteral("ungültiger Rechnername: %1").arg(target.detail);
    case AddressProblem::BadPort:
        return QStringLiteral("Port %1 ist keine Zahl von 1 bis 65535").arg(target.detail);
    }
    return {};
}

QString SocketErrorText(int error)
{
    switch (QAbstractSocket::SocketError(error)) {
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Netz nicht erreichbar");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("Zeitüberschreitung");
    case QAbstractSocket::SocketResourceError:
        return QStringLiteral("zu wenige Systemressourcen");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("keine Berechtigung");
    case QAbstractSocket::TemporaryError:
        return QStringLiteral("vorübergehender Netzfehler");
    default:
        return QStringLiteral("Netzfehler %1").arg(int(error));
    }
}

QString OpeningFailed(const QString &why)
{
    return QStringLiteral("lässt sich nicht öffnen: ") + why;
}
