// Who this computer is to a TLS device server (keygen), whom it trusts (trust), and the
// files the card commands present and trust (--cert, --key, --ca).
#include "cli/arguments.h"
#include "cli/clioutput.h"
#include "cli/commands.h"
#include "cli/options.h"

#include "config/fileaccess.h"
#include "config/fileerror.h"
#include "link/clientidentity.h"
#include "link/knownservers.h"
#include "link/portresolver.h"
#include "link/tlsport.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

#include <algorithm>

namespace Cli {
namespace {

constexpr int ValidDays = 10 * 365;

// Whether the target reaches its card over TLS, also through a com<n> file.
bool UsesTls(const PortTarget &target)
{
    if (target.kind == PortTarget::Kind::ListEntry) {
        const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(target.entry),
                                             SystemPortEnvironment::Instance());
        return r.source == PortResolution::Address && r.address.addressForm().tls;
    }
    return target.addressForm().tls;
}

QString LoginName()
{
#ifndef Q_OS_WIN
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

QString Date(const QDateTime &when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

// The lines a user compares before trusting a server.
QString CertificateText(const QSslCertificate &certificate)
{
    QStringList names;
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto it = alternatives.begin(); it != alternatives.end(); ++it)
        names << it.value();
    // Every name is the server's own text: shown visibly, so none can forge a line.
    QString text = QStringLiteral("  Inhaber:     %1\n  Aussteller:  %2\n")
                       .arg(Visible(certificate.subjectDisplayName(), 200),
                            Visible(certificate.issuerDisplayName(), 200));
    if (!names.isEmpty())
        text += QStringLiteral("  Namen:       %1\n")
                    .arg(Visible(names.join(QStringLiteral(", ")), 400));
    return text + QStringLiteral("  gültig:      von %1 bis %2\n  SHA256:      %3\n")
                      .arg(Date(certificate.effectiveDate()), Date(certificate.expiryDate()),
                           Fingerprint(certificate));
}

// What to do on a ser2net with clientauth, in the words its manual uses.
QString ServerSteps(const QString &certificateFile, const QString &name)
{
    return QStringLiteral(
               "Auf dem Geräteserver (ser2net mit ssl(…,clientauth) und authdir, Vorgabe\n"
               "/usr/share/ser2net/auth) das Zertifikat in den Ordner des Namens legen und den\n"
               "Ordner neu einlesen:\n"
               "  mkdir -p AUTHDIR/%2/allowed_certs\n"
               "  cp %1 AUTHDIR/%2/allowed_certs/\n"
               "  openssl rehash AUTHDIR/%2/allowed_certs     (oder c_rehash)\n")
        .arg(certificateFile, name);
}

bool Confirmed(const Streams &streams)
{
    Print(streams.out, QStringLiteral("Diesem Zertifikat vertrauen und es aufnehmen? [j/N] "));
    std::fflush(streams.out);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    const QString answer = QString::fromLocal8Bit(line).trimmed().toLower();
    return answer == QLatin1String("j") || answer == QLatin1String("ja") ||
           answer == QLatin1String("y") || answer == QLatin1String("yes");
}

} // namespace

std::optional<LinkSettings> ReadLinkSettings(const Arguments &args,
                                             const std::vector<PortTarget> &targets,
                                             const Streams &streams)
{
    LinkSettings settings;
    settings.environment = &SystemPortEnvironment::Instance();
    settings.certificateFile = args.value(Option::Cert);
    settings.keyFile = args.value(Option::Key);
    settings.caFile = args.value(Option::Ca);
    if (settings.certificateFile.isEmpty() != settings.keyFile.isEmpty()) {
        Error(streams, args.command, QStringLiteral("--cert und --key gehören zusammen"));
        return std::nullopt;
    }
    for (const QString &given : {settings.certificateFile, settings.keyFile, settings.caFile})
        if (!given.isEmpty() && !QFileInfo(given).isFile()) {
            Error(streams, given, QStringLiteral("nicht gefunden"));
            return std::nullopt;
        }
    // A key others may read is refused before any connection, as ssh refuses one.
    if (std::any_of(targets.begin(), targets.end(), UsesTls)) {
        const LinkFailure problem = TlsPort::IdentityProblem(settings);
        if (problem.failed()) {
            Error(streams, args.command,
                  DescribeFailure(problem, SystemPortEnvironment::Instance()));
            return std::nullopt;
        }
    }
    return settings;
}

int Keygen(const Arguments &args, const Streams &streams)
{
    const QString name = args.has(Option::Name) ? args.value(Option::Name) : LoginName();
    // The name becomes a folder on the server (authdir/NAME): nothing that leaves it.
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,63}$"));
    if (!allowed.match(name).hasMatch()) {
        Error(streams, args.command,
              QStringLiteral("Name „%1“: 1 bis 64 Buchstaben, Ziffern, Punkte, Binde- und "
                             "Unterstriche, vorne kein Zeichen (er wird auf dem Server ein "
                             "Ordnername)")
                  .arg(Visible(name, 80)));
        return BadInput;
    }
    LinkSettings settings;
    settings.environment = &SystemPortEnvironment::Instance();
    settings = settings.resolved();
    const QString certificateFile = settings.certificateFile;
    const QString keyFile = settings.keyFile;
    if ((QFileInfo::exists(certificateFile) || QFileInfo::exists(keyFile)) &&
        !args.has(Option::Force)) {
        const QList<QSslCertificate> old = QSslCertificate::fromPath(certificateFile);
        Print(streams.out, QStringLiteral("Vorhanden und behalten (--force ersetzt es): %1\n")
                               .arg(certificateFile));
        if (!old.isEmpty()) {
            const QStringList cn = old.first().subjectInfo(QSslCertificate::CommonName);
            Print(streams.out, CertificateText(old.first()) + QLatin1Char('\n') +
                                   ServerSteps(certificateFile, cn.isEmpty() ? name : cn.first()));
        }
        return Success;
    }
    QString why;
    const std::optional<ClientIdentity> identity = MakeClientIdentity(name, ValidDays, &why);
    if (!identity) {
        Error(streams, args.command, QStringLiteral("kein Schlüssel erzeugt: ") + why);
        return BadInput;
    }
    const QString folder = QFileInfo(certificateFile).absolutePath();
    if (!QDir().mkpath(folder)) {
        Error(streams, folder, QStringLiteral("Ordner lässt sich nicht anlegen"));
        return BadInput;
    }
    // The key first: a certificate without its key would be presented in vain.
    if (const FileStatus written = ReplaceSecretFile(keyFile, identity->keyPem); !written.ok()) {
        Error(streams, keyFile, FileErrorMessage(written));
        return BadInput;
    }
    if (const FileStatus written = ReplaceFileWhole(certificateFile, identity->certificatePem);
        !written.ok()) {
        Error(streams, certificateFile, FileErrorMessage(written));
        return BadInput;
    }
    const QSslCertificate made(identity->certificatePem);
    Print(streams.out, QStringLiteral("Client-Zertifikat: %1\nSchlüssel:         %2 (nur für "
                                      "Sie lesbar)\n")
                               .arg(certificateFile, keyFile) +
                           CertificateText(made) + QLatin1Char('\n') +
                           ServerSteps(certificateFile, name));
    return Success;
}

int Trust(const Arguments &args, const Streams &streams)
{
    if (args.files.size() != 1) {
        Error(streams, args.command, QStringLiteral("erwartet genau eine Adresse"));
        return BadInput;
    }
    const PortTarget target = PortTarget::Parse(args.files.first());
    if (!target.valid()) {
        Error(streams, args.files.first(), AddressError(target));
        return BadInput;
    }
    if (!target.addressForm().tls) {
        QStringList forms;
        for (const AddressForm &form : AddressForms())
            if (form.tls)
                forms << QLatin1String(form.scheme) + QStringLiteral("://");
        Error(streams, args.files.first(),
              QStringLiteral("keine TLS-Adresse (%1)").arg(forms.join(QStringLiteral(", "))));
        return BadInput;
    }
    const bool yes = args.has(Option::Yes);
    const std::optional<LinkSettings> settings = ReadLinkSettings(args, {target}, streams);
    if (!settings)
        return BadInput;

    TlsPort port;
    port.configure(*settings);
    QEventLoop loop;
    QObject::connect(&port, &Transport::stateChanged, &loop, [&] {
        if (port.state() != Transport::State::Opening)
            loop.quit();
    });
    port.open(target);
    if (port.state() == Transport::State::Opening)
        loop.exec();
    const LinkFailure failure = port.failure();
    const bool open = port.PortOpen();
    port.close();
    const QSslCertificate &certificate = port.serverCertificate();
    const QString url = target.url();

    if (open) {
        Print(streams.out,
              QStringLiteral("%1: schon vertraut\n").arg(url) + CertificateText(certificate));
        return Success;
    }
    if (failure.kind != FailureKind::ServerUnknown && failure.kind != FailureKind::ServerChanged) {
        if (!certificate.isNull())
            Print(streams.out, CertificateText(certificate));
        Error(streams, url, DescribeFailure(failure, SystemPortEnvironment::Instance()));
        return CardFailed;
    }
    QString shown =
        QStringLiteral("%1 zeigt dieses Zertifikat:\n").arg(url) + CertificateText(certificate);
    if (failure.kind == FailureKind::ServerChanged)
        shown += QStringLiteral("\nWARNUNG: für %1 ist ein anderes Zertifikat aufgezeichnet:\n"
                                "  bisher:      SHA256 %2\n  jetzt:       SHA256 %3\n"
                                "Ersetzen nur, wenn der Server neue Schlüssel bekam.\n")
                     .arg(target.address(), failure.recordedFingerprint, failure.fingerprint);
    Print(streams.out, shown);
    if (!yes && !streams.answerable) {
        Error(streams, url,
              QStringLiteral("nicht aufgenommen: kein Terminal zum Nachfragen; --yes nimmt auf, "
                             "wenn der Fingerabdruck auf anderem Weg geprüft ist"));
        return BadInput;
    }
    if (!yes && !Confirmed(streams)) {
        Print(streams.out, QStringLiteral("Nicht aufgenommen.\n"));
        return CardFailed;
    }
    const QString file = settings->resolved().knownServersFile;
    QString why;
    if (!RecordFingerprint(file, target.address(), failure.fingerprint, &why)) {
        Error(streams, url, why);
        return BadInput;
    }
    Print(streams.out, QStringLiteral("Aufgenommen in %1: %2 %3\n")
                           .arg(file, target.address(), failure.fingerprint));
    return Success;
}

} // namespace Cli
