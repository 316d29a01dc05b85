#include "tools/ser2net_rig.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>

int FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return -1;
    return probe.serverPort();
}

namespace {

bool Accepts(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    const bool ok = socket.waitForConnected(200);
    socket.abort();
    return ok;
}

} // namespace

Ser2netRig::Ser2netRig() = default;

Ser2netRig::~Ser2netRig()
{
    stop();
}

QString Ser2netRig::Program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (!found.isEmpty())
        return found;
    return QFileInfo::exists(QStringLiteral("/usr/sbin/ser2net"))
               ? QStringLiteral("/usr/sbin/ser2net")
               : QString();
}

bool Ser2netRig::Available()
{
    return !Program().isEmpty();
}

bool Ser2netRig::start(const std::vector<std::string> &devices, const Options &options,
                       std::string *error)
{
    stop();
    m_devices = devices;
    m_options = options;
    if (m_ports.size() != 2 * devices.size()) {
        // Every probe stays bound until all are chosen: ports probed one after the other may
        // come back twice.
        m_ports.clear();
        std::vector<std::unique_ptr<QTcpServer>> probes;
        for (std::size_t i = 0; i < 2 * devices.size(); ++i) {
            probes.push_back(std::make_unique<QTcpServer>());
            m_ports.push_back(probes.back()->listen(QHostAddress::LocalHost, 0)
                                  ? probes.back()->serverPort()
                                  : -1);
        }
    }
    QString yaml = QStringLiteral("%YAML 1.1\n---\n");
    const QString chardelay = options.chardelay ? QStringLiteral("true") : QStringLiteral("false");
    const QString kick = options.kickOldUser ? QStringLiteral("true") : QStringLiteral("false");
    QString ssl, auth;
    if (options.tls) {
        ssl = QStringLiteral("ssl(key=%1,cert=%2%3),")
                  .arg(QString::fromStdString(options.tls->key),
                       QString::fromStdString(options.tls->cert),
                       options.tls->authDir.empty() ? QString() : QStringLiteral(",clientauth"));
        if (!options.tls->authDir.empty())
            auth = QStringLiteral("    authdir: %1\n")
                       .arg(QString::fromStdString(options.tls->authDir));
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const QString device = QString::fromStdString(devices[i]);
        const QString line = QString::fromStdString(options.deviceLine);
        for (int raw = 0; raw < 2; ++raw) {
            yaml += QStringLiteral("connection: &c%1_%2\n"
                                   "  accepter: %3%4tcp,127.0.0.1,%5\n"
                                   "  connector: serialdev,%6,%7,local\n"
                                   "  options:\n"
                                   "    chardelay: %8\n"
                                   "    kickolduser: %9\n")
                        .arg(i)
                        .arg(raw)
                        .arg(raw ? QString() : QStringLiteral("telnet(rfc2217),"), ssl)
                        .arg(m_ports[2 * i + std::size_t(raw)])
                        .arg(device, raw ? QStringLiteral("2400n81") : line, chardelay, kick) +
                    auth;
        }
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml.toUtf8()) < 0) {
        *error = "cannot write " + config.toStdString();
        return false;
    }
    file.close();
    // -n: in the foreground, ended with the rig; -u: no UUCP lock files in the system's folder.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(Program(),
                    {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(3000)) {
        *error = "ser2net does not start: " + m_process.errorString().toStdString();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    for (int port : m_ports) {
        while (!Accepts(port)) {
            if (waited.elapsed() > 5000 || m_process.state() != QProcess::Running) {
                *error = "ser2net does not accept on port " + std::to_string(port) + ": " +
                         m_process.readAll().toStdString();
                stop();
                return false;
            }
            QThread::msleep(20);
        }
    }
    return true;
}

void Ser2netRig::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool Ser2netRig::running() const
{
    return m_process.state() == QProcess::Running;
}

QString Ser2netRig::scheme(const char *plain) const
{
    return QLatin1String(plain) + (m_options.tls ? QStringLiteral("+tls") : QString());
}

QString Ser2netRig::rfc2217Url(std::size_t i) const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(scheme("rfc2217")).arg(rfc2217Port(i));
}

QString Ser2netRig::rawUrl(std::size_t i) const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(scheme("socket")).arg(rawPort(i));
}

namespace {

bool Openssl(const QStringList &arguments, const QString &folder, std::string *error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = "openssl " + arguments.join(QLatin1Char(' ')).toStdString() + ": " +
                 process.readAll().toStdString() + process.errorString().toStdString();
        return false;
    }
    return true;
}

const QStringList NewKey{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                         QStringLiteral("-nodes")};

bool WriteText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

} // namespace

QString TestPki::KeyOf(const QString &certificate)
{
    return certificate.left(certificate.size() - 4) + QStringLiteral(".key");
}

QString TestPki::FingerprintOf(const QString &certificate)
{
    QFile file(certificate);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QSslCertificate read(file.readAll());
    return QString::fromLatin1(read.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

bool TestPki::make(const QString &where, std::string *error)
{
    folder = where;
    const auto in = [&](const char *name) {
        return folder + QLatin1Char('/') + QLatin1String(name);
    };
    ca = in("ca.crt");
    server = in("server.crt");
    expired = in("expired.crt");
    selfSigned = in("self.crt");
    // A CA of its own signs with dates of its choosing: the expired certificate needs them.
    const QString config = in("ca.cnf");
    if (!WriteText(config,
                   QStringLiteral("[ca]\ndefault_ca = d\n[d]\ndatabase = %1\n"
                                  "new_certs_dir = %2\nserial = %3\ndefault_md = sha256\n"
                                  "policy = p\ncopy_extensions = copy\nunique_subject = no\n"
                                  "[p]\ncommonName = supplied\n")
                       .arg(in("index.txt"), folder, in("serial"))) ||
        !WriteText(in("index.txt"), {}) || !WriteText(in("serial"), QStringLiteral("01\n"))) {
        *error = "cannot write the CA's files in " + folder.toStdString();
        return false;
    }
    const QString san = QStringLiteral("subjectAltName=IP:127.0.0.1");
    const auto request = [&](const QString &certificate) {
        return Openssl(QStringList{QStringLiteral("req")} + NewKey +
                           QStringList{QStringLiteral("-keyout"), KeyOf(certificate),
                                       QStringLiteral("-out"), certificate + QStringLiteral(".csr"),
                                       QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                                       QStringLiteral("-addext"), san},
                       folder, error);
    };
    const auto sign = [&](const QString &certificate, const char *start, const char *end) {
        return Openssl({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"),
                        config, QStringLiteral("-cert"), ca, QStringLiteral("-keyfile"), KeyOf(ca),
                        QStringLiteral("-in"), certificate + QStringLiteral(".csr"),
                        QStringLiteral("-out"), certificate, QStringLiteral("-startdate"),
                        QLatin1String(start), QStringLiteral("-enddate"), QLatin1String(end)},
                       folder, error);
    };
    return Openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey +
                       QStringList{QStringLiteral("-keyout"), KeyOf(ca), QStringLiteral("-out"), ca,
                                   QStringLiteral("-days"), QStringLiteral("30"),
                                   QStringLiteral("-subj"), QStringLiteral("/CN=Zelkora Test CA")},
                   folder, error) &&
           request(server) && sign(server, "20200101000000Z", "20991231000000Z") &&
           request(expired) && sign(expired, "20200101000000Z", "20200201000000Z") &&
           Openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey +
                       QStringList{QStringLiteral("-keyout"), KeyOf(selfSigned),
                                   QStringLiteral("-out"), selfSigned, QStringLiteral("-days"),
                                   QStringLiteral("30"), QStringLiteral("-subj"),
                                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), san},
                   folder, error);
}

bool TestPki::makeClient(const QString &name, QString *certificate, std::string *error) const
{
    *certificate = folder + QStringLiteral("/client-") + name + QStringLiteral(".crt");
    return Openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey +
                       QStringList{QStringLiteral("-keyout"), KeyOf(*certificate),
                                   QStringLiteral("-out"), *certificate, QStringLiteral("-days"),
                                   QStringLiteral("30"), QStringLiteral("-subj"),
                                   QStringLiteral("/CN=") + name},
                   folder, error) &&
           QFile::setPermissions(KeyOf(*certificate), QFile::ReadOwner | QFile::WriteOwner);
}

bool AllowClient(const QString &authDir, const QString &name, const QString &certificate,
                 std::string *error)
{
    const QString folder = authDir + QLatin1Char('/') + name + QStringLiteral("/allowed_certs");
    QDir().mkpath(folder);
    const QString copy = folder + QLatin1Char('/') + QFileInfo(certificate).fileName();
    QFile::remove(copy);
    if (!QFile::copy(certificate, copy)) {
        *error = "cannot copy " + certificate.toStdString();
        return false;
    }
    return Openssl({QStringLiteral("rehash"), folder}, folder, error);
}
