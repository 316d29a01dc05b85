#include "tools/ser2net_rig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const QString device = QString::fromStdString(devices[i]);
        const QString line = QString::fromStdString(options.deviceLine);
        for (int raw = 0; raw < 2; ++raw) {
            yaml += QStringLiteral("connection: &c%1_%2\n"
                                   "  accepter: %3tcp,127.0.0.1,%4\n"
                                   "  connector: serialdev,%5,%6,local\n"
                                   "  options:\n"
                                   "    chardelay: %7\n"
                                   "    kickolduser: %8\n")
                        .arg(i)
                        .arg(raw)
                        .arg(raw ? QString() : QStringLiteral("telnet(rfc2217),"))
                        .arg(m_ports[2 * i + std::size_t(raw)])
                        .arg(device, raw ? QStringLiteral("2400n81") : line, chardelay, kick);
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

QString Ser2netRig::rfc2217Url(std::size_t i) const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port(i));
}

QString Ser2netRig::rawUrl(std::size_t i) const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(rawPort(i));
}
