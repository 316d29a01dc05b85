// zelkora-cli as its users run it: the installed-style binary in a process of its own, real
// files in a temporary folder, and virtual cards on pseudo-terminals.

#include "fleet/uploadjournal.h"
#include "tests/support/cardrig.h"
#include "tests/support/scratchfolder.h"
#include "tools/cardsim_expect.h"
#include "tools/cardsim_pty.h"
#include "tools/ser2net_rig.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <csignal>
#include <sys/stat.h>

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

class Cli : public ScratchFolderTest
{
protected:
    QString configDir() const { return m_dir.filePath(QStringLiteral("config")); }
    QString stateDir() const
    {
        return m_stateDir.isEmpty() ? m_dir.filePath(QStringLiteral("state")) : m_stateDir;
    }
    QString m_stateDir; // the journal's folder when not the test's own

    // Runs the tool without a desktop and with this test's own port links.
    Result run(const QStringList &arguments, int timeoutMs = 20000) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateDir());
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(ZELKORA_CLI), arguments);
        process.waitForFinished(timeoutMs);
        Result result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QByteArray starter() const
    {
        QFile file(QStringLiteral(ZELKORA_STARTER_REL));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A virtual card paced like the line; started unless it is to stay silent.
    CardSimPty &plugCard(const CardSimOptions &options = {}, bool start = true)
    {
        std::string error;
        CardPlug plug;
        plug.start = start;
        auto card = PlugCard(options, plug, &error);
        EXPECT_TRUE(card) << error;
        // A card that could not be had stays unopened: the test fails, but on its own terms.
        m_cards.push_back(card ? std::move(card) : std::make_unique<CardSimPty>(options, true));
        return *m_cards.back();
    }

private:
    std::vector<std::unique_ptr<CardSimPty>> m_cards;
};

struct RefusalCase
{
    const char *name;
    QStringList arguments;
    const char *names; // what the error line must name
    const char *says;
};

TEST_F(Cli, BadInputIsRefusedWithStatusTwoAndNoOutputFile)
{
    write("projekt.rel", starter());
    write("kurz.rel", QByteArray(1000, '\0'));
    const QByteArray json = run({"export", "projekt.rel"}).out.toUtf8();
    ASSERT_TRUE(json.startsWith("{")) << "export failed";
    write("unbekannt.json",
          QByteArray(json).replace("\"nummer\": 1,", "\"nummer\": 1, \"farbe\": 2,"));
    write("fehlt.json", QByteArray(json).replace("\"ausBei\": 33,", ""));
    write("bereich.json", QByteArray(json).replace("\"tempo\": 4", "\"tempo\": 300"));
    write("kaputt.json", json.left(json.size() / 2));
    write("gut.json", json);
    write("json.rel", json);
    write("lang.rel", starter() + QByteArray(300, '\x7F'));
    // A merge leftover: "an" twice in relay 1's Timer 1; Qt alone would keep the last.
    write("doppelt.json", QByteArray(json).replace("\"an\": \"19:49:28\",",
                                                   "\"an\": \"19:49:28\", \"an\": \"06:00:00\","));
    ASSERT_NE(read("doppelt.json"), json);
    QDir().mkdir(path("ordner"));
    const std::vector<RefusalCase> cases = {
        {"unknown field",
         {"import", "unbekannt.json", "-o", "aus.rel"},
         "unbekannt.json",
         "relais[1].farbe: unbekanntes Feld"},
        {"missing field",
         {"import", "fehlt.json", "-o", "aus.rel"},
         "fehlt.json",
         "relais[1].secTimer.ausBei: Feld fehlt"},
        {"value out of range",
         {"import", "bereich.json", "-o", "aus.rel"},
         "bereich.json",
         "lauflicht.programme[1].tempo: erwartet eine ganze Zahl von -1 bis 254"},
        {"broken JSON",
         {"import", "kaputt.json", "-o", "aus.rel"},
         "kaputt.json",
         "kein gültiges JSON"},
        {"import without -o", {"import", "unbekannt.json"}, "import", "-o AUSGABE fehlt"},
        {"short project",
         {"export", "kurz.rel", "-o", "aus.json"},
         "kurz.rel",
         "zu kurz für ein Projekt: 1000 Bytes"},
        {"missing project", {"show", "weg.rel"}, "weg.rel", "Datei nicht gefunden"},
        {"picture format",
         {"plan", "projekt.rel", "-o", "aus.jpg"},
         "aus.jpg",
         "unbekanntes Bildformat"},
        {"JSON into diff", {"diff", "projekt.rel", "bereich.json"}, "bereich.json", "tempo"},
        {"unknown command", {"brenne", "projekt.rel"}, "brenne", "unbekannter Befehl"},
        {"unknown option",
         {"show", "--farbig", "projekt.rel"},
         "show",
         "unbekannte Option --farbig"},
        {"two files for show", {"show", "projekt.rel", "kurz.rel"}, "show", "erwartet 1 Datei"},
        {"upload without port", {"upload", "projekt.rel"}, "upload", "kein --port"},
        {"upload of a bad project",
         {"upload", "kurz.rel", "--port", "/dev/null"},
         "kurz.rel",
         "zu kurz"},
        {"the same card twice",
         {"version", "--port", "COM 2", "--port", "com2"},
         "com2",
         "mehrfach genannt"},
        {"JSON into a .rel",
         {"export", "projekt.rel", "-o", "aus.rel"},
         "aus.rel",
         "export schreibt JSON"},
        {"a project into a .json",
         {"import", "gut.json", "-o", "aus.json"},
         "aus.json",
         "import schreibt eine .rel-Datei"},
        {"JSON named .rel", {"show", "json.rel"}, "json.rel", "ist JSON, keine .rel-Datei"},
        {"upload of a .rel that is too long",
         {"upload", "lang.rel", "--port", "/dev/null"},
         "lang.rel",
         "keine Projektdatei: 1324 Bytes statt 1024"},
        {"a key twice",
         {"import", "doppelt.json", "-o", "aus.rel"},
         "doppelt.json",
         "relais[1].timer1.an: Feld steht zweimal"},
        {"JSON's reason in German",
         {"import", "kaputt.json", "-o", "aus.rel"},
         "kaputt.json",
         "kein gültiges JSON in Zeile"},
        {"COM 0", {"version", "--port", "COM 0"}, "COM 0", "nur COM 1 bis COM 9"},
        {"COM 10", {"version", "--port", "COM 10"}, "COM 10", "nur COM 1 bis COM 9"},
        {"an empty port", {"version", "--port", ""}, "", "leerer Port"},
        {"a file as port", {"version", "--port", "projekt.rel"}, "projekt.rel", "ist eine Datei"},
        {"a folder as port", {"version", "--port", "ordner"}, "ordner", "ist ein Ordner"},
        {"a folder as input", {"show", "ordner"}, "ordner", "ist ein Ordner"},
        {"a name with a line break",
         {"show", "zwei\nZeilen.rel"},
         "zwei\\x0aZeilen.rel",
         "Datei nicht gefunden"},
        {"a missing output folder",
         {"export", "projekt.rel", "-o", "fehlt/aus.json"},
         "fehlt/aus.json",
         "den Ordner"},
        // A FIFO would hold the reader in open() until some other program writes.
        {"a FIFO as project", {"show", "fifo.rel"}, "fifo.rel", "keine gewöhnliche Datei"},
        {"a FIFO to upload",
         {"upload", "fifo.rel", "--port", "/dev/null"},
         "fifo.rel",
         "keine gewöhnliche Datei"},
        {"a FIFO as a manifest's project",
         {"deploy", "fifo-anlage.json"},
         "fifo-anlage.json",
         "karten[1].projekt"},
        {"a FIFO as manifest", {"deploy", "fifo.json"}, "fifo.json", "verweigert"},
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.rel")).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.json")).constData(), 0600), 0);
    write("fifo-anlage.json", "{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": "
                              "[{\"name\": \"K\", \"port\": \"/dev/null\", \"projekt\": "
                              "\"fifo.rel\"}]}");
    for (const RefusalCase &c : cases) {
        write("aus.rel", "alt"); // an output that is there stays as it was
        QFile::remove(path("aus.json"));
        QFile::remove(path("aus.jpg"));
        const Result r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << c.name << ": " << r.err.toStdString();
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("zelkora-cli: ") + c.names + ": "))
            << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(lines[0].contains(QString::fromUtf8(c.says)))
            << c.name << ": " << r.err.toStdString();
        EXPECT_EQ(read("aus.rel"), "alt") << c.name;
        EXPECT_FALSE(QFile::exists(path("aus.json")) || QFile::exists(path("aus.jpg"))) << c.name;
    }
}

// Inputs that are no regular files, outputs that cannot take the result.
TEST_F(Cli, StandardStreamsAndDevicesAreInputsAndFullOutputsFail)
{
    write("projekt.rel", starter());
    const QString cli = QStringLiteral(ZELKORA_CLI);
    const auto shell = [&](const QString &command) {
        QProcess sh;
        sh.setWorkingDirectory(path("."));
        sh.start(QStringLiteral("bash"), {"-c", command});
        sh.waitForFinished(20000);
        return std::make_pair(sh.exitCode(), QString::fromUtf8(sh.readAllStandardError()));
    };
    // A project from a pipe, from "-" and from process substitution.
    EXPECT_EQ(
        shell(QStringLiteral("'%1' export projekt.rel | '%1' import - -o a.rel").arg(cli)).first,
        0);
    EXPECT_EQ(read("a.rel"), starter());
    EXPECT_EQ(
        shell(QStringLiteral("'%1' show <('%1' export projekt.rel) >/dev/null").arg(cli)).first, 0);
    EXPECT_EQ(shell(QStringLiteral("'%1' show /dev/stdin < projekt.rel >/dev/null").arg(cli)).first,
              0);
    // A device that is no serial line says so.
    const auto null = shell(QStringLiteral("'%1' version --port /dev/null").arg(cli));
    EXPECT_EQ(null.first, 1);
    EXPECT_TRUE(null.second.contains(QStringLiteral("kein serieller Anschluss")))
        << null.second.toStdString();
    // Standard output that takes nothing: no success.
    for (const char *command : {"export projekt.rel", "show projekt.rel", "ports"}) {
        const auto full =
            shell(QStringLiteral("'%1' %2 > /dev/full").arg(cli, QLatin1String(command)));
        EXPECT_EQ(full.first, 2) << command;
        EXPECT_TRUE(full.second.contains(QStringLiteral("Standardausgabe"))) << command;
    }
}

TEST_F(Cli, ExportEditImportChangesJustTheEditedBytes)
{
    write("projekt.rel", starter());
    const Result toStdout = run({"export", "projekt.rel"});
    ASSERT_EQ(toStdout.status, 0) << toStdout.err.toStdString();
    ASSERT_EQ(run({"export", "projekt.rel", "-o", "projekt.json"}).status, 0);
    EXPECT_EQ(read("projekt.json"), toStdout.out.toUtf8());

    // Relay 1's Timer 1 "An" is the first time in the file.
    QByteArray json = read("projekt.json");
    json.replace(json.indexOf("19:49:28"), 8, "06:30:05");
    write("geaendert.json", json);
    const Result imported = run({"import", "geaendert.json", "-o", "geaendert.rel"});
    ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
    QByteArray expected = starter();
    expected[17] = 6, expected[18] = 30, expected[19] = 5;
    EXPECT_EQ(read("geaendert.rel"), expected);
    ASSERT_EQ(run({"import", "projekt.json", "-o", "zurueck.rel"}).status, 0);
    EXPECT_EQ(read("zurueck.rel"), starter());
}

TEST_F(Cli, DiffInAnyPairingOfRelAndJson)
{
    write("a.rel", starter());
    ASSERT_EQ(run({"export", "a.rel", "-o", "a.json"}).status, 0);
    QByteArray changed = starter();
    changed[16 + 14 * 2 + 1] = 7; // relay 3, Timer 1 "An" hour
    write("b.rel", changed);
    ASSERT_EQ(run({"export", "b.rel", "-o", "b.json"}).status, 0);
    const QString line = QStringLiteral("Relais 3 (Relais 3), Timer 1, An: 19:49:28 → 07:49:28\n");
    for (const auto &[a, b] : std::vector<std::pair<QString, QString>>{
             {"a.rel", "b.rel"}, {"a.rel", "b.json"}, {"a.json", "b.rel"}, {"a.json", "b.json"}}) {
        const Result differs = run({"diff", a, b});
        EXPECT_EQ(differs.status, 1) << a.toStdString() << " " << b.toStdString();
        EXPECT_EQ(differs.out, line) << a.toStdString() << " " << b.toStdString();
        const Result same =
            run({"diff", a,
                 a == QLatin1String("a.rel") ? QStringLiteral("a.json") : QStringLiteral("a.rel")});
        EXPECT_EQ(same.status, 0) << same.out.toStdString() << same.err.toStdString();
        EXPECT_TRUE(same.out.isEmpty());
    }
}

TEST_F(Cli, ShowListsEveryRelayUnderItsLabel)
{
    QByteArray image = starter();
    image.replace(512 + 16 * 4, 8, QByteArray("Heizung\0", 8));
    write("projekt.rel", image);
    const Result r = run({"show", "projekt.rel"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    for (const char *heading : {"Relais 1 (Relais 1)\n", "Relais 5 (Heizung)\n",
                                "Relais 8 (Relais 8)\n", "\nLauflicht\n", "\nKarte\n"})
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(heading))) << heading;
    EXPECT_FALSE(r.out.contains(QStringLiteral("(!)")))
        << "the starter holds only values the window shows";
}

TEST_F(Cli, PlanWritesEachFormatWithoutADesktop)
{
    write("projekt.rel", starter());
    ASSERT_EQ(run({"plan", "projekt.rel", "-o", "woche.png"}).status, 0);
    QImage png;
    ASSERT_TRUE(png.load(path("woche.png"), "PNG"));
    EXPECT_EQ(png.size(), QSize(1240, 1754));
    const Result svg = run({"plan", "projekt.rel", "-o", "woche.svg"});
    EXPECT_EQ(svg.status, 0);
    EXPECT_TRUE(svg.err.isEmpty()) << svg.err.toStdString();
    EXPECT_TRUE(read("woche.svg").contains("width=\"210.00mm\" height=\"297.00mm\""));
    ASSERT_EQ(run({"plan", "projekt.rel", "-o", "woche.pdf"}).status, 0);
    EXPECT_TRUE(read("woche.pdf").startsWith("%PDF-"));
}

// The final block's clock must be a moment between the start and the end of the run.
bool RecordedAsSent(const std::vector<std::uint8_t> &record, const QByteArray &image,
                    const QDateTime &from, const QDateTime &to, std::string &why)
{
    QDateTime t = from.addSecs(-1);
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    for (; t <= to; t = t.addSecs(1)) {
        const auto expected = ExpectedUpload(
            image, std::uint8_t(t.time().second()), std::uint8_t(t.time().minute()),
            std::uint8_t(t.time().hour()), std::uint8_t(1u << (t.date().dayOfWeek() % 7)));
        if (record == expected)
            return true;
    }
    why = std::to_string(record.size()) + " bytes;";
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i < 513 && std::uint8_t(image[int(i) - 1 + (i == 0)]) != record[i] && i > 0)
            why +=
                " image byte " + std::to_string(i - 1) + " as " + std::to_string(record[i]) + ";";
    }
    if (record.size() == 522)
        why += " clock " + std::to_string(record[515]) + ":" + std::to_string(record[514]) + ":" +
               std::to_string(record[513]) + " day bit " + std::to_string(record[516]);
    return false;
}

void ExpectOneUploadAsSent(const CardSimPty &card, const QByteArray &image, const QDateTime &from,
                           const QDateTime &to)
{
    const auto uploads = card.Uploads();
    ASSERT_EQ(uploads.size(), 1u) << card.DevicePath();
    std::string why;
    EXPECT_TRUE(RecordedAsSent(uploads[0], image, from, to, why))
        << card.DevicePath() << ": " << why;
}

TEST_F(Cli, UploadsToThreeCardsAtOnce)
{
    write("projekt.rel", starter());
    CardSimPty &first = plugCard();
    CardSimPty &second = plugCard();
    CardSimPty &third = plugCard();
    std::string error;
    ASSERT_TRUE(second.LinkAs(configDir().toStdString(), 2, &error)) << error;
    const QDateTime from = QDateTime::currentDateTime();
    const Result r =
        run({"upload", "projekt.rel", "--port", QString::fromStdString(first.DevicePath()),
             "--port", "COM 2", "--port", QString::fromStdString(third.DevicePath())});
    const QDateTime to = QDateTime::currentDateTime();
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // Not a terminal: one line per port as it ends.
    EXPECT_EQ(r.out.count(QStringLiteral(": übertragen\n")), 3) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("COM 2 (") + configDir() +
                               QStringLiteral("/zelkora/com2): übertragen")))
        << r.out.toStdString();
    EXPECT_LT(from.msecsTo(to), 5000) << "the three uploads did not run side by side";
    for (CardSimPty *card : {&first, &second, &third})
        ExpectOneUploadAsSent(*card, starter(), from, to);
}

TEST_F(Cli, ASilentCardFailsWhileTheOthersComplete)
{
    write("projekt.rel", starter());
    CardSimPty &first = plugCard();
    CardSimPty &silent = plugCard({}, false);
    CardSimPty &third = plugCard();
    const QString silentPath = QString::fromStdString(silent.DevicePath());
    const QDateTime from = QDateTime::currentDateTime();
    const Result r =
        run({"upload", "projekt.rel", "--port", QString::fromStdString(first.DevicePath()),
             "--port", silentPath, "--port", QString::fromStdString(third.DevicePath())});
    const QDateTime to = QDateTime::currentDateTime();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("zelkora-cli: ") + silentPath +
                         QStringLiteral(": keine Antwort auf die Versionsabfrage (L)\n"));
    EXPECT_EQ(r.out.count(QStringLiteral(": übertragen\n")), 2) << r.out.toStdString();
    for (CardSimPty *card : {&first, &third})
        ExpectOneUploadAsSent(*card, starter(), from, to);
}

TEST_F(Cli, EachFailingCardNamesTheStepItStoppedAt)
{
    write("projekt.rel", starter());
    struct Fault
    {
        CardSimOptions options;
        const char *message;
    };
    CardSimOptions dropped, oldFirmware, lastBlock;
    dropped.dropAckAfterBlock = 5;
    oldFirmware.version = 136;
    lastBlock.dropAckAfterBlock = 32;
    CardSimOptions hangsUp;
    hangsUp.hangupAfterBlock = 10;
    const std::vector<Fault> faults = {
        {dropped, "keine Bestätigung für Block 6 von 32"},
        {oldFirmware, "falsche Version 136 (erwartet 137)"},
        {lastBlock, "keine Bestätigung für den Schlussblock"},
        // A pulled line is a cut-off upload, at the block that no longer went out.
        {hangsUp, "Verbindung getrennt bei Block 11 von 32: Übertragung abgebrochen"},
    };
    QStringList arguments{"upload", "projekt.rel"};
    std::vector<QString> paths;
    for (const Fault &fault : faults) {
        paths.push_back(QString::fromStdString(plugCard(fault.options).DevicePath()));
        arguments << "--port" << paths.back();
    }
    CardSimPty &good = plugCard();
    arguments << "--port" << QString::fromStdString(good.DevicePath());
    const Result r = run(arguments);
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), qsizetype(faults.size())) << r.err.toStdString();
    for (std::size_t i = 0; i < faults.size(); ++i) {
        const QString prefix = QStringLiteral("zelkora-cli: ") + paths[i] + QStringLiteral(": ");
        const auto line = std::find_if(lines.begin(), lines.end(),
                                       [&](const QString &l) { return l.startsWith(prefix); });
        ASSERT_NE(line, lines.end()) << faults[i].message << "\n" << r.err.toStdString();
        EXPECT_TRUE(line->contains(QString::fromUtf8(faults[i].message)))
            << faults[i].message << "\n"
            << r.err.toStdString();
    }
    EXPECT_EQ(r.out.count(QStringLiteral(": übertragen\n")), 1) << r.out.toStdString();
    EXPECT_EQ(good.Uploads().size(), 1u);
}

TEST_F(Cli, VersionAndMeasureOfEachCard)
{
    CardSimOptions other;
    other.version = 136;
    other.measurement = {128, 129, 255, 170};
    CardSimPty &standard = plugCard();
    CardSimPty &odd = plugCard(other);
    const QString a = QString::fromStdString(standard.DevicePath());
    const QString b = QString::fromStdString(odd.DevicePath());
    const Result version = run({"version", "--port", a, "--port", b});
    EXPECT_EQ(version.status, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.contains(a + QStringLiteral(": Version 137\n")))
        << version.out.toStdString();
    EXPECT_TRUE(version.out.contains(b + QStringLiteral(": Version 136 (erwartet 137)\n")))
        << version.out.toStdString();
    const Result measure = run({"measure", "--port", a, "--port", b});
    EXPECT_EQ(measure.status, 0) << measure.err.toStdString();
    EXPECT_TRUE(measure.out.contains(a + QStringLiteral(": 21 °C, 22 °C, 23 °C, 45 % rel. LF\n")))
        << measure.out.toStdString();
    EXPECT_TRUE(
        measure.out.contains(b + QStringLiteral(": 128 °C, -127 °C, -1 °C, 170 % rel. LF (!)\n")))
        << measure.out.toStdString();
    // For scripts: one document, the cards in the order given.
    const Result json = run({"measure", "--json", "--port", b, "--port", a});
    const QJsonArray cards = QJsonDocument::fromJson(json.out.toUtf8())["karten"].toArray();
    ASSERT_EQ(cards.size(), 2) << json.out.toStdString();
    EXPECT_EQ(cards[0]["port"].toString(), b);
    EXPECT_EQ(cards[0]["messung"]["feuchte"].toInt(), 170);
    EXPECT_TRUE(cards[0]["version"].isNull());
    const QJsonDocument versions =
        QJsonDocument::fromJson(run({"version", "--json", "--port", b}).out.toUtf8());
    EXPECT_EQ(versions["karten"][0]["version"].toInt(), 136);
    EXPECT_FALSE(versions["karten"][0]["version_ok"].toBool(true));
    const QJsonDocument ports = QJsonDocument::fromJson(run({"ports", "--json"}).out.toUtf8());
    EXPECT_EQ(ports["ports"].toArray().size(), 9);
    EXPECT_EQ(ports["ports"][0]["name"].toString(), QStringLiteral("COM 1"));
    // A line that adds bytes to the reply: no numbers, but the reading named as disturbed.
    CardSimOptions noisy;
    noisy.noiseBytes = 2;
    const QString n = QString::fromStdString(plugCard(noisy).DevicePath());
    const Result disturbed = run({"measure", "--port", a, "--port", n});
    EXPECT_EQ(disturbed.status, 1);
    EXPECT_TRUE(disturbed.out.contains(a + QStringLiteral(": 21 °C")));
    EXPECT_FALSE(disturbed.out.contains(n)) << disturbed.out.toStdString();
    EXPECT_TRUE(disturbed.err.contains(n + QStringLiteral(": Messung gestört: 6 Bytes statt 4")))
        << disturbed.err.toStdString();
    const Result missing = run({"version", "--port", a, "--port", "COM 9"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(
        missing.err.startsWith(QStringLiteral("zelkora-cli: COM 9: lässt sich nicht öffnen: ")))
        << missing.err.toStdString();
}

TEST_F(Cli, PortsNamesWhatEachEntryOpens)
{
    CardSimPty &card = plugCard();
    std::string error;
    ASSERT_TRUE(card.LinkAs(configDir().toStdString(), 3, &error)) << error;
    const Result r = run({"ports"});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 9) << r.out.toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("COM 3: ") + configDir() +
                            QStringLiteral("/zelkora/com3 → ") +
                            QString::fromStdString(card.DevicePath()));
    // The same card as "COM 3" and as the device its link points to: refused before anything
    // is sent.
    const Result twice =
        run({"version", "--port", "COM 3", "--port", QString::fromStdString(card.DevicePath())});
    EXPECT_EQ(twice.status, 2);
    EXPECT_TRUE(twice.err.contains(QStringLiteral(": mehrfach genannt")))
        << twice.err.toStdString();
}

// Cards behind a real ser2net, named in every form at once: rfc2217://, socket://, and COM 4
// whose configuration file holds an address; beside a card on its own pseudo-terminal.
TEST_F(Cli, CardsBehindADeviceServerInEveryAddressForm)
{
    if (!Ser2netRig::Available())
        GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    write("projekt.rel", starter());
    std::vector<CardSimPty *> served{&plugCard(), &plugCard(), &plugCard()};
    CardSimPty &local = plugCard();
    Ser2netRig server;
    std::string error;
    ASSERT_TRUE(server.start(
        {served[0]->DevicePath(), served[1]->DevicePath(), served[2]->DevicePath()}, {}, &error))
        << error;
    ASSERT_TRUE(QDir().mkpath(configDir() + QStringLiteral("/zelkora")));
    QFile com4(configDir() + QStringLiteral("/zelkora/com4"));
    ASSERT_TRUE(com4.open(QIODevice::WriteOnly));
    com4.write(server.rawUrl(2).toUtf8() + "\n");
    com4.close();

    const QDateTime from = QDateTime::currentDateTime();
    const Result r = run({"upload", "projekt.rel", "--port", server.rfc2217Url(0), "--port",
                          server.rawUrl(1).replace(QStringLiteral("socket"), QStringLiteral("tcp")),
                          "--port", "COM 4", "--port", QString::fromStdString(local.DevicePath())});
    const QDateTime to = QDateTime::currentDateTime();
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral(": übertragen\n")), 4) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("COM 4 (") + server.rawUrl(2) +
                               QStringLiteral("): übertragen")))
        << r.out.toStdString();
    for (CardSimPty *card : {served[0], served[1], served[2], &local})
        ExpectOneUploadAsSent(*card, starter(), from, to);

    // Lines in the order the cards were given, not in the order they answered (the card on
    // its own line answers before the one behind the server has connected).
    const Result versions = run({"version", "--port", server.rfc2217Url(0), "--port",
                                 QString::fromStdString(local.DevicePath())});
    EXPECT_TRUE(versions.out.startsWith(server.rfc2217Url(0) + QStringLiteral(": Version 137\n")))
        << versions.out.toStdString();

    const Result ports = run({"ports"});
    EXPECT_TRUE(ports.out.contains(QStringLiteral("COM 4: ") + server.rawUrl(2) + '\n'))
        << ports.out.toStdString();

    // The same server port under two forms is one card; a malformed address is bad usage;
    // a server that is gone fails its card with the cause.
    struct Case
    {
        QStringList ports;
        int status;
        const char *says;
    };
    server.stop();
    QFile com5(configDir() + QStringLiteral("/zelkora/com5"));
    ASSERT_TRUE(com5.open(QIODevice::WriteOnly));
    com5.write("rfc2217://gw\n");
    com5.close();
    const std::vector<Case> cases = {
        {{server.rfc2217Url(0), server.rfc2217Url(0).replace("rfc2217", "socket")},
         2,
         "mehrfach genannt"},
        {{"COM 4", server.rawUrl(2)}, 2, "mehrfach genannt"},
        {{"rfc2217://gw"}, 2, "rfc2217://gw: Port fehlt (HOST:PORT)"},
        {{"socket://gw:70000"}, 2, "Port 70000 ist keine Zahl von 1 bis 65535"},
        {{"ssh://gw:22"}, 2, "unbekannte Adressform ssh://"},
        {{"COM 5"}, 2, "COM 5: keine gültige Adresse in "},
        {{server.rfc2217Url(0)}, 1, ": lässt sich nicht öffnen: Verbindung abgelehnt\n"},
    };
    for (const Case &c : cases) {
        QStringList arguments{"version"};
        for (const QString &port : c.ports)
            arguments << "--port" << port;
        const Result refused = run(arguments);
        EXPECT_EQ(refused.status, c.status) << c.says;
        EXPECT_TRUE(refused.err.contains(QString::fromUtf8(c.says))) << refused.err.toStdString();
        EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.toStdString();
    }
}

// An end signal in the middle of an upload: the upload under way is finished (a card left in
// the middle would take whatever comes next), a second signal ends it at once, recorded as
// interrupted at its block. The status says which signal it was.
struct SignalCase
{
    const char *name;
    std::vector<int> sent; // the signals, one after another
    int status;
    std::size_t uploadsOnCard;
    UploadRecord::Outcome recorded;
};

TEST_F(Cli, AnEndSignalFinishesTheUploadUnderWayAndASecondEndsIt)
{
    write("projekt.rel", starter());
    const SignalCase cases[] = {
        {"Ctrl-C", {SIGINT}, 130, 1, UploadRecord::Outcome::Complete},
        {"SIGTERM", {SIGTERM}, 143, 1, UploadRecord::Outcome::Complete},
        {"Ctrl-C twice", {SIGINT, SIGINT}, 130, 0, UploadRecord::Outcome::Interrupted},
    };
    for (const SignalCase &c : cases) {
        CardSimPty &card = plugCard();
        QFile::remove(stateDir() + QStringLiteral("/zelkora/journal.jsonl"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateDir());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(ZELKORA_CLI), {"upload", "projekt.rel", "--port",
                                                    QString::fromStdString(card.DevicePath())});
        ASSERT_TRUE(process.waitForStarted());
        // The upload has begun once its first record is in the journal.
        const UploadJournal journal(stateDir() + QStringLiteral("/zelkora"));
        QElapsedTimer waited;
        waited.start();
        while (journal.read().empty() && waited.elapsed() < 10000)
            QThread::msleep(20);
        ASSERT_FALSE(journal.read().empty()) << c.name;
        QThread::msleep(300); // a few blocks into the upload
        for (const int number : c.sent) {
            ::kill(pid_t(process.processId()), number);
            QThread::msleep(100);
        }
        ASSERT_TRUE(process.waitForFinished(15000)) << c.name;
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), c.status) << c.name << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("Übertragung wird zu Ende geführt"))) << c.name;
        EXPECT_EQ(card.Uploads().size(), c.uploadsOnCard) << c.name;
        const std::vector<UploadRecord> records = journal.read();
        ASSERT_EQ(records.size(), 2u) << c.name;
        EXPECT_EQ(records[1].outcome, c.recorded) << c.name;
        if (c.recorded == UploadRecord::Outcome::Interrupted) {
            EXPECT_GE(records[1].block, 1) << c.name;
            EXPECT_TRUE(err.contains(QStringLiteral("unterbrochen bei Block")))
                << err.toStdString();
        }
    }
}

// A stray 65 on the line every 8 ms beside a card that answers right: the upload is never
// reported complete, and the journal says the line was disturbed.
TEST_F(Cli, StrayAcknowledgementsOnTheLineAreADisturbedUploadNeverASuccess)
{
    write("projekt.rel", starter());
    CardSimPty &card = plugCard();
    std::atomic<bool> stop{false};
    const QString journalFile = stateDir() + QStringLiteral("/zelkora/journal.jsonl");
    std::thread stray([&] {
        // From the moment the upload has begun: the version is asked on a quiet line.
        const auto begun = [&] {
            QFile file(journalFile);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("begonnen");
        };
        while (!stop && !begun())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        while (!stop) {
            const char byte = 'A';
            [[maybe_unused]] const ssize_t n = ::write(card.LineFd(), &byte, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
        }
    });
    const Result r =
        run({"upload", "projekt.rel", "--port", QString::fromStdString(card.DevicePath())});
    stop = true;
    stray.join();
    EXPECT_EQ(r.status, 1) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("übertragen"))) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("gestört"))) << r.err.toStdString();
    EXPECT_EQ(card.Uploads().size(), 0u);
    const std::vector<UploadRecord> records =
        UploadJournal(stateDir() + QStringLiteral("/zelkora")).read();
    ASSERT_EQ(records.size(), 2u) << r.err.toStdString();
    EXPECT_EQ(records[1].outcome, UploadRecord::Outcome::Disturbed);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Leitung gestört bei Block %1 von 32").arg(records[1].block)))
        << r.err.toStdString();
}

// "--" ends the options, for a file whose name starts with "-"; "-o -" is standard output.
TEST_F(Cli, DoubleDashEndsOptionsAndDashIsStandardOutput)
{
    write("-x.rel", starter());
    const Result shown = run({"show", "--", "-x.rel"});
    EXPECT_EQ(shown.status, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Relais 8 (Relais 8)")))
        << shown.out.toStdString();
    const Result json = run({"export", "-o", "-", "--", "-x.rel"});
    EXPECT_EQ(json.status, 0) << json.err.toStdString();
    EXPECT_TRUE(json.out.startsWith(QLatin1Char('{')));
    EXPECT_FALSE(QFile::exists(path("-")));
    write("x.json", json.out.toUtf8());
    QProcess import;
    import.setWorkingDirectory(path("."));
    import.start(QStringLiteral(ZELKORA_CLI), {"import", "x.json", "-o", "-"});
    ASSERT_TRUE(import.waitForFinished(10000));
    EXPECT_EQ(import.exitCode(), 0);
    EXPECT_EQ(import.readAllStandardOutput(), starter());
}

// A building: a manifest of cards on pseudo-terminals and behind ser2net, each with its own
// project; the journal remembers, the plan compares against it, only what changed goes out.
TEST_F(Cli, DeployEachCardItsOwnProjectAndPlanAgainstTheJournal)
{
    if (!Ser2netRig::Available())
        GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    write("keller.rel", starter());
    const Result exported = run({"export", "keller.rel"});
    write("dach.json", exported.out.toUtf8().replace("\"tempo\": 4", "\"tempo\": 7"));
    ASSERT_NE(read("dach.json"), exported.out.toUtf8()) << "the edit did not apply";
    CardSimPty &keller = plugCard();
    CardSimPty &dach = plugCard();
    CardSimOptions broken;
    broken.dropAckAfterBlock = 7;
    CardSimPty &garage = plugCard(broken);
    Ser2netRig server;
    std::string error;
    ASSERT_TRUE(server.start({dach.DevicePath()}, {}, &error)) << error;
    const auto manifest = [&](const QString &garagePort) {
        return QStringLiteral(
                   "{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": ["
                   "{\"name\": \"Keller\", \"port\": \"%1\", \"projekt\": \"keller.rel\"},"
                   "{\"name\": \"Dach\", \"port\": \"%2\", \"projekt\": \"dach.json\"},"
                   "{\"name\": \"Garage\", \"port\": \"%3\", \"projekt\": \"keller.rel\"}]}")
            .arg(QString::fromStdString(keller.DevicePath()), server.rfc2217Url(0), garagePort)
            .toUtf8();
    };
    write("anlage.json", manifest(QString::fromStdString(garage.DevicePath())));

    const Result never = run({"deploy", "anlage.json", "--plan"});
    EXPECT_EQ(never.status, 1) << "every card would change: " << never.err.toStdString();
    EXPECT_EQ(never.out.count(QStringLiteral(": nie vollständig übertragen\n")), 3)
        << never.out.toStdString();

    const Result first = run({"deploy", "anlage.json", "--report", "bericht.json"});
    EXPECT_EQ(first.status, 1) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Keller (") +
                                   QString::fromStdString(keller.DevicePath()) +
                                   QStringLiteral("): übertragen")));
    EXPECT_TRUE(first.out.contains(QStringLiteral("Dach (") + server.rfc2217Url(0) +
                                   QStringLiteral("): übertragen")));
    EXPECT_TRUE(first.err.contains(QStringLiteral("Garage (")) &&
                first.err.contains(QStringLiteral("keine Bestätigung für Block 8 von 32")))
        << first.err.toStdString();
    ASSERT_EQ(keller.Uploads().size(), 1u);
    ASSERT_EQ(dach.Uploads().size(), 1u);
    EXPECT_NE(keller.Uploads()[0], dach.Uploads()[0]) << "each card gets its own project";
    const QJsonArray report = QJsonDocument::fromJson(read("bericht.json"))["karten"].toArray();
    ASSERT_EQ(report.size(), 3);
    EXPECT_EQ(report[0]["ergebnis"].toString(), QStringLiteral("vollständig"));
    EXPECT_EQ(report[2]["ergebnis"].toString(), QStringLiteral("gescheitert"));
    EXPECT_EQ(report[1]["hash"].toString().size(), 64);

    // The journal: newest first, each upload's beginning and end, the card's name, and what
    // each card holds now marked.
    const Result journal = run({"journal"});
    const QStringList lines = journal.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << journal.out.toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^\\* .*vollständig"))).size(), 2);
    EXPECT_EQ(lines.filter(QStringLiteral("  begonnen  ")).size(), 3);
    EXPECT_EQ(lines.filter(QStringLiteral("Garage ")).size(), 2);
    EXPECT_EQ(lines.filter(QStringLiteral("gescheitert: keine Bestätigung für Block 8")).size(), 1);

    // "What would change on this card": the card against a file, by meaning.
    const Result onCard =
        run({"diff", QStringLiteral("karte:") + server.rfc2217Url(0), "keller.rel"});
    EXPECT_EQ(onCard.status, 1);
    EXPECT_TRUE(onCard.out.contains(QStringLiteral("Tempo"))) << onCard.out.toStdString();
    const Result none = run({"diff", "karte:COM 7", "keller.rel"});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains(QStringLiteral("keine vollständige Übertragung im Journal")));

    // Dach's project changes, Garage is mended: the plan names what changed, --only-changed
    // leaves Keller alone.
    write("dach.json", exported.out.toUtf8().replace("\"tempo\": 4", "\"tempo\": 9"));
    garage.SetOptions({});
    const Result plan =
        run({"deploy", "anlage.json", "--plan", "--only-changed", "--report", "plan.json"});
    EXPECT_EQ(plan.status, 1);
    const QJsonArray planned = QJsonDocument::fromJson(read("plan.json"))["karten"].toArray();
    ASSERT_EQ(planned.size(), 3);
    const char *const plannedAs[][2] = {
        {"übersprungen", "aktuell"}, {"geplant", "geändert"}, {"geplant", "unbekannt"}};
    const Result planJson = run({"deploy", "anlage.json", "--plan", "--only-changed", "--json"});
    EXPECT_EQ(planJson.status, 1);
    EXPECT_EQ(QJsonDocument::fromJson(planJson.out.toUtf8())["karten"].toArray(), planned);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(planned[i]["ergebnis"].toString(), QString::fromUtf8(plannedAs[i][0]));
        EXPECT_EQ(planned[i]["stand"].toString(), QString::fromUtf8(plannedAs[i][1]));
    }
    EXPECT_TRUE(plan.out.contains(QStringLiteral("Keller (") +
                                  QString::fromStdString(keller.DevicePath()) +
                                  QStringLiteral("): unverändert seit")))
        << plan.out.toStdString();
    EXPECT_TRUE(plan.out.contains(QRegularExpression(QStringLiteral(
        "Dach \\(.*\\): 3 Änderungen seit .*\\n  Lauflicht, Programm 1, Tempo: 7 → 9\\n"))))
        << plan.out.toStdString();
    // Garage took part of its upload: what it holds is unknown, so it goes out again.
    EXPECT_TRUE(plan.out.contains(
        QStringLiteral("): unbekannt: letzte Übertragung gescheitert bei Block 8 von 32 (")))
        << plan.out.toStdString();
    const Result second = run({"deploy", "anlage.json", "--only-changed"});
    EXPECT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(QStringLiteral("unverändert, übersprungen")));
    EXPECT_EQ(keller.Uploads().size(), 1u);
    EXPECT_EQ(dach.Uploads().size(), 2u);
    EXPECT_EQ(garage.Uploads().size(), 1u);
    EXPECT_EQ(run({"deploy", "anlage.json", "--plan"}).status, 0) << "nothing left to change";
    const QJsonArray deployed = QJsonDocument::fromJson(read("bericht.json"))["karten"].toArray();
    // Report times carry their offset to UTC, as the journal's do.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-.*T.*\\.\\d{3}[+-]\\d\\d:\\d\\d$"))
                    .match(deployed[0]["beginn"].toString())
                    .hasMatch())
        << deployed[0]["beginn"].toString().toStdString();

    // What a card holds is known only from the journal: where it cannot be written, an upload
    // does not begin and a deployment does not start, and a report that cannot be written
    // stops a deployment before anything is sent.
    const Result noReport =
        run({"deploy", "anlage.json", "--report", path("fehlt") + QStringLiteral("/r.json")});
    EXPECT_EQ(noReport.status, 2) << noReport.err.toStdString();
    EXPECT_TRUE(noReport.err.contains(QStringLiteral("(nichts gesendet)")));
    QFile blocker(path("kein-ordner"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_stateDir = blocker.fileName();
    const Result unrecorded =
        run({"upload", "keller.rel", "--port", QString::fromStdString(keller.DevicePath())});
    EXPECT_EQ(unrecorded.status, 1);
    EXPECT_EQ(unrecorded.err.count('\n'), 1) << unrecorded.err.toStdString();
    EXPECT_TRUE(unrecorded.err.contains(QStringLiteral("Journal ")) &&
                unrecorded.err.contains(QStringLiteral("(nichts gesendet)")))
        << unrecorded.err.toStdString();
    const Result undeployed = run({"deploy", "anlage.json"});
    EXPECT_EQ(undeployed.status, 2) << undeployed.err.toStdString();
    EXPECT_EQ(keller.Uploads().size(), 1u);
    EXPECT_EQ(dach.Uploads().size(), 2u);
}

// A name from a manifest cannot forge the plan's lines: control characters are shown, not
// obeyed.
TEST_F(Cli, NamesFromAManifestReachTheTerminalVisibly)
{
    write("p.rel", starter());
    write("anlage.json", "{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": ["
                         "{\"name\": \"Keller\\u001b[2J\\nDach: unverändert\", \"port\": "
                         "\"/dev/null\", \"projekt\": \"p.rel\"}]}");
    const Result plan = run({"deploy", "anlage.json", "--plan"});
    EXPECT_EQ(plan.status, 1) << plan.err.toStdString();
    EXPECT_EQ(plan.out.count('\n'), 1) << plan.out.toStdString();
    EXPECT_FALSE(plan.out.contains(QChar(0x1b))) << plan.out.toStdString();
    EXPECT_TRUE(plan.out.startsWith(QStringLiteral("Keller\\x1b[2J\\x0aDach")))
        << plan.out.toStdString();
}

// A manifest with faults: each named by its path, nothing sent, status 2.
TEST_F(Cli, BadManifestsAreRefusedWithTheirPaths)
{
    write("p.rel", starter());
    write("kurz.rel", QByteArray(10, 'x'));
    const QByteArray head = "{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": [";
    const struct
    {
        QByteArray manifest;
        const char *says;
    } cases[] = {
        {"{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": [",
         "kein gültiges JSON in Zeile 1, Spalte"},
        {"{\"format\": \"zelkora-projekt\", \"version\": 1, \"karten\": [{\"name\": \"a\", "
         "\"port\": \"COM 1\", \"projekt\": \"p.rel\"}]}",
         "format: erwartet \"zelkora-anlage\""},
        {"{\"format\": \"zelkora-anlage\", \"version\": 2, \"karten\": []}",
         "version: 2 ist neuer als dieses Programm (1)"},
        {head + "]}", "karten: erwartet eine Liste mit mindestens einer Karte"},
        {head + "{\"name\": \"a\", \"projekt\": \"p.rel\"}]}", "karten[1].port: Feld fehlt"},
        {head + "{\"name\": \"a\", \"port\": \"rfc2217://gw\", \"projekt\": \"p.rel\"}]}",
         "karten[1].port: Port fehlt (HOST:PORT)"},
        {head + "{\"name\": \"a\", \"port\": \"COM 1\", \"projekt\": \"kurz.rel\"}]}",
         "karten[1].projekt: zu kurz für ein Projekt: 10 Bytes statt 1024"},
        {head + "{\"name\": \"a\", \"port\": \"COM 1\", \"projekt\": \"p.rel\", \"farbe\": 1}]}",
         "karten[1].farbe: unbekanntes Feld"},
        {head + "{\"name\": \"a\", \"port\": \"socket://gw:4001\", \"projekt\": \"p.rel\"},"
                "{\"name\": \"b\", \"port\": \"rfc2217://GW:4001\", \"projekt\": \"p.rel\"}]}",
         "karten[2].port: dieselbe Karte wie karten[1]"},
    };
    for (const auto &c : cases) {
        write("anlage.json", c.manifest);
        const Result r = run({"deploy", "anlage.json"});
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_TRUE(r.err.contains(QStringLiteral("zelkora-cli: anlage.json: ") +
                                   QString::fromUtf8(c.says)))
            << c.says << "\n"
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

// The virtual card speaks German, counts blocks as the tools do and fails at once where it
// could record nothing.
TEST_F(Cli, TheVirtualCardSaysWhatStopsIt)
{
    const struct
    {
        QStringList arguments;
        int status;
        const char *says;
    } cases[] = {
        {{"--help"}, 0, "Schreibt den Gerätepfad"},
        {{"--record", "/nirgends/aufnahme.txt"},
         1,
         "--record /nirgends/aufnahme.txt: den Ordner gibt es nicht"},
        {{"--drop-ack", "0"}, 2, "ungültige Option --drop-ack 0"},
        {{"--drop-ack", "34"}, 2, "ungültige Option --drop-ack 34"},
    };
    for (const auto &c : cases) {
        QProcess card;
        card.start(QStringLiteral(ZELKORA_CARDSIM), c.arguments);
        ASSERT_TRUE(card.waitForFinished(5000)) << c.says;
        EXPECT_EQ(card.exitCode(), c.status) << c.says;
        const QString said =
            QString::fromUtf8(card.readAllStandardOutput() + card.readAllStandardError());
        EXPECT_TRUE(said.contains(QString::fromUtf8(c.says))) << said.toStdString();
    }
}

TEST_F(Cli, ProgressBarsOnATerminal)
{
    write("projekt.rel", starter());
    CardSimPty &card = plugCard();
    CardSimOptions stops;
    stops.dropAckAfterBlock = 3;
    CardSimPty &stopping = plugCard(stops);
    const QString stoppingPath = QString::fromStdString(stopping.DevicePath());
    // script(1) gives the tool a terminal as its standard output (and error).
    const QString command =
        QStringLiteral("XDG_CONFIG_HOME='%1' '%2' upload projekt.rel --port '%3' --port '%4'")
            .arg(configDir(), QStringLiteral(ZELKORA_CLI),
                 QString::fromStdString(card.DevicePath()), stoppingPath);
    QProcess script;
    script.setWorkingDirectory(path("."));
    script.start(QStringLiteral("script"), {"-qec", command, "/dev/null"});
    ASSERT_TRUE(script.waitForFinished(20000));
    const QString screen = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_EQ(script.exitCode(), 1) << screen.toStdString();
    EXPECT_TRUE(screen.contains(QStringLiteral("\x1b[2A"))) << "bars not redrawn in place";
    EXPECT_TRUE(screen.contains(QStringLiteral("[########################] 100 %  fertig")))
        << screen.toStdString();
    EXPECT_TRUE(screen.contains(QRegularExpression(QStringLiteral("%  Block [0-9]+/32"))))
        << screen.toStdString();
    EXPECT_TRUE(screen.contains(QStringLiteral("FEHLER (siehe unten)"))) << screen.toStdString();
    EXPECT_TRUE(screen.contains(QStringLiteral("zelkora-cli: ") + stoppingPath +
                                QStringLiteral(": keine Bestätigung für Block 4 von 32")))
        << screen.toStdString();
    // A line wider than the terminal would wrap and throw the redraw off.
    static const QRegularExpression escapes(QStringLiteral("\x1b\\[[0-9]*[AK]|\r"));
    for (const QString &line : QString(screen).remove(escapes).split('\n'))
        if (!line.startsWith(QLatin1String("zelkora-cli: "))) { // the errors below the bars
            EXPECT_LE(line.size(), 80) << line.toStdString();
        }
    EXPECT_EQ(card.Uploads().size(), 1u);

    // A terminal of 4 rows and 40 columns: three ports get one line of counts, nothing wraps.
    CardSimPty &third = plugCard();
    script.start(QStringLiteral("script"),
                 {"-qec",
                  QStringLiteral("stty rows 4 cols 40; ") + command + QStringLiteral(" --port '") +
                      QString::fromStdString(third.DevicePath()) + QLatin1Char('\''),
                  "/dev/null"});
    ASSERT_TRUE(script.waitForFinished(20000));
    const QString small = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_TRUE(small.contains(QStringLiteral("3 Karten: 2 fertig, 0 laufen, 1 Fehler")))
        << small.toStdString();
    EXPECT_FALSE(small.contains(QStringLiteral("\x1b[3A"))) << "bars drawn on a terminal too short";
    static const QRegularExpression redraws(QStringLiteral("\x1b\\[[0-9]*[AK]"));
    for (const QString &line :
         QString(small).remove(redraws).split(QRegularExpression(QStringLiteral("[\r\n]"))))
        if (!line.startsWith(QStringLiteral("zelkora-cli: "))) { // the failures below may wrap
            EXPECT_LE(line.size(), 40) << line.toStdString();
        }
}

} // namespace

namespace {

// Debian's node exporter on 127.0.0.1 with its text-file collector alone, scraped once.
QByteArray ScrapeTextFiles(const QString &folder, QString *error)
{
    const QString exporter =
        QStandardPaths::findExecutable(QStringLiteral("prometheus-node-exporter"));
    if (exporter.isEmpty()) {
        *error = QStringLiteral("prometheus-node-exporter fehlt (tools/setup.sh)");
        return {};
    }
    // A free port may be taken by another test before the exporter binds it: tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int port = FreeLoopbackPort();
        QProcess server;
        server.start(exporter, {"--collector.disable-defaults", "--collector.textfile",
                                "--collector.textfile.directory=" + folder,
                                QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port)});
        if (!server.waitForStarted(5000))
            continue;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 15000 && server.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port));
            if (socket.waitForConnected(500)) {
                socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
                QByteArray reply;
                while (socket.waitForReadyRead(5000))
                    reply += socket.readAll();
                reply += socket.readAll();
                server.terminate();
                server.waitForFinished(5000);
                return reply;
            }
            QThread::msleep(50);
        }
        *error = QString::fromUtf8(server.readAllStandardError());
        server.kill();
        server.waitForFinished(5000);
    }
    return {};
}

} // namespace

// A building between deployments: one card holds its project, one's project changed since,
// one never had an upload, one is silent, one's server is down. A status run asks each card
// its version and a measurement and nothing else, and says the same in the table, the JSON
// and the metrics that a node exporter serves.
TEST_F(Cli, StatusOfABuildingIsReadOnlyAndTellsHowEachCardStands)
{
    if (!Ser2netRig::Available())
        GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    write("keller.rel", starter());
    const Result exported = run({"export", "keller.rel"});
    write("dach.json", exported.out.toUtf8());
    CardSimPty &keller = plugCard();
    CardSimPty &dach = plugCard();
    CardSimOptions warm;
    warm.measurement = {30, 31, 32, 60};
    CardSimPty &neu = plugCard(warm);
    CardSimPty &still = plugCard({}, false);
    Ser2netRig server, gone;
    std::string error;
    ASSERT_TRUE(server.start({dach.DevicePath(), neu.DevicePath()}, {}, &error)) << error;
    ASSERT_TRUE(gone.start({still.DevicePath()}, {}, &error)) << error;
    gone.stop();
    const QString kellerPort = QString::fromStdString(keller.DevicePath());
    ASSERT_EQ(run({"upload", "keller.rel", "--port", kellerPort}).status, 0);
    ASSERT_EQ(run({"upload", "dach.json", "--port", server.rfc2217Url(0)}).status, 0);
    write("dach.json", exported.out.toUtf8().replace("\"tempo\": 4", "\"tempo\": 9"));
    write("anlage.json",
          QStringLiteral("{\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": ["
                         "{\"name\": \"Keller\", \"port\": \"%1\", \"projekt\": \"keller.rel\"},"
                         "{\"name\": \"Dach\", \"port\": \"%2\", \"projekt\": \"dach.json\"},"
                         "{\"name\": \"Neu\", \"port\": \"%3\", \"projekt\": \"keller.rel\"},"
                         "{\"name\": \"Still\", \"port\": \"%4\", \"projekt\": \"keller.rel\"},"
                         "{\"name\": \"Weg\", \"port\": \"%5\", \"projekt\": \"keller.rel\"}]}")
              .arg(kellerPort, server.rfc2217Url(0), server.rawUrl(1),
                   QString::fromStdString(still.DevicePath()), gone.rawUrl(0))
              .toUtf8());
    for (CardSimPty *card : {&keller, &dach, &neu})
        card->ClearUploads();
    ASSERT_TRUE(QDir().mkpath(path("metriken")));

    const Result json =
        run({"status", "anlage.json", "--json", "--prometheus", path("metriken/zelkora.prom")});
    EXPECT_EQ(json.status, 1) << json.err.toStdString();
    const QJsonObject status = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(status["format"].toString(), QStringLiteral("zelkora-status"));
    const QJsonArray cards = status["karten"].toArray();
    struct Expected
    {
        const char *name;
        bool reachable;
        const char *standing;
        int firstTemperature;   // -1: no measurement
        const char *lastResult; // nullptr: no upload
        const char *reason;     // nullptr: none
    };
    const std::vector<Expected> expected = {
        {"Keller", true, "aktuell", 21, "vollständig", nullptr},
        {"Dach", true, "geändert", 21, "vollständig", nullptr},
        {"Neu", true, "nie übertragen", 30, nullptr, nullptr},
        {"Still", false, "nie übertragen", -1, nullptr, "keine Antwort"},
        {"Weg", false, "nie übertragen", -1, nullptr, "Verbindung abgelehnt"},
    };
    ASSERT_EQ(cards.size(), qsizetype(expected.size())) << json.out.toStdString();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Expected &e = expected[i];
        const QJsonObject c = cards[qsizetype(i)].toObject();
        SCOPED_TRACE(e.name);
        EXPECT_EQ(c["name"].toString(), QString::fromUtf8(e.name));
        EXPECT_EQ(c["erreichbar"].toBool(), e.reachable);
        EXPECT_EQ(c["stand"].toString(), QString::fromUtf8(e.standing));
        EXPECT_EQ(c["version_ok"].isNull(), !e.reachable);
        EXPECT_EQ(c["messung"]["temperaturen"][0].toInt(-1), e.firstTemperature);
        EXPECT_EQ(c["letzte_uebertragung"]["ergebnis"].toString(),
                  e.lastResult ? QString::fromUtf8(e.lastResult) : QString());
        EXPECT_EQ(c["grund"].toString().contains(QString::fromUtf8(e.reason ? e.reason : "-")),
                  e.reason != nullptr)
            << c["grund"].toString().toStdString();
    }
    EXPECT_EQ(cards[1]["aenderungen"].toInt(), 3); // as deploy --plan counts them
    // Asked the version and the measurement, nothing else; no card took an upload.
    for (CardSimPty *card : {&keller, &dach, &neu}) {
        EXPECT_EQ(card->Received(), (std::vector<std::uint8_t>{'L', 'T'}));
        EXPECT_TRUE(card->Uploads().empty());
    }

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    ASSERT_FALSE(promtool.isEmpty()) << "promtool fehlt (tools/setup.sh)";
    QProcess check;
    check.setStandardInputFile(path("metriken/zelkora.prom"));
    check.start(promtool, {"check", "metrics"});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    EXPECT_EQ(QDir(path("metriken")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"zelkora.prom"})
        << "no temporary file is left beside the metrics";
    QString scrapeError;
    const QByteArray scraped = ScrapeTextFiles(path("metriken"), &scrapeError);
    const auto sample = [&](const char *metric, const char *card, const QString &port,
                            const char *extra = "") {
        return QStringLiteral("\n%1{card=\"%2\",port=\"%3\"%4} ")
            .arg(QLatin1String(metric), QLatin1String(card), port, QLatin1String(extra));
    };
    const QString metrics = QString::fromUtf8(scraped);
    ASSERT_TRUE(metrics.contains(QStringLiteral("200 OK"))) << scrapeError.toStdString();
    EXPECT_TRUE(metrics.contains(
        sample("zelkora_card_temperature_celsius", "Neu", server.rawUrl(1), ",sensor=\"1\"") +
        "30\n"))
        << metrics.toStdString();
    EXPECT_TRUE(
        metrics.contains(sample("zelkora_card_humidity_percent", "Keller", kellerPort) + "45\n"));
    EXPECT_TRUE(metrics.contains(sample("zelkora_card_in_sync", "Keller", kellerPort) + "1\n"));
    EXPECT_TRUE(
        metrics.contains(sample("zelkora_card_in_sync", "Dach", server.rfc2217Url(0)) + "0\n"));
    EXPECT_TRUE(metrics.contains(sample("zelkora_card_up", "Weg", gone.rawUrl(0)) + "0\n"));
    // What was not read is left out, never written as 0.
    EXPECT_FALSE(
        metrics.contains(QStringLiteral("card=\"Weg\",port=\"%1\",sensor").arg(gone.rawUrl(0))));
    EXPECT_FALSE(metrics.contains(
        sample("zelkora_card_firmware_ok", "Still", QString::fromStdString(still.DevicePath()))));

    // The table without a terminal: a line per card in the order given, the state in words.
    const Result table = run({"status", "anlage.json"});
    EXPECT_EQ(table.status, 1);
    const QStringList lines = table.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << table.out.toStdString();
    const char *const says[] = {"Version 137", "geändert (3 Änderungen)", "nie übertragen",
                                "keine Antwort", "Verbindung abgelehnt"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(lines[i + 1].startsWith(QString::fromUtf8(expected[std::size_t(i)].name)));
        EXPECT_TRUE(lines[i + 1].contains(QString::fromUtf8(says[i])))
            << lines[i + 1].toStdString();
    }
    EXPECT_FALSE(table.out.contains(QLatin1Char('\x1b')));

    // Every card answering and current: status 0.
    const Result one = run({"status", "--port", kellerPort});
    EXPECT_EQ(one.status, 0) << one.out.toStdString() << one.err.toStdString();
}

// A status run beside an upload in progress: the card's server is busy with the upload, so
// the card is named busy and left alone, and the upload arrives whole.
TEST_F(Cli, StatusBesideAnUploadLeavesTheUploadWhole)
{
    if (!Ser2netRig::Available())
        GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    write("projekt.rel", starter());
    CardSimPty &card = plugCard();
    Ser2netRig server;
    std::string error;
    ASSERT_TRUE(server.start({card.DevicePath()}, {}, &error)) << error;
    QProcess upload;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateDir());
    upload.setProcessEnvironment(env);
    upload.setWorkingDirectory(path("."));
    const QDateTime from = QDateTime::currentDateTime();
    upload.start(QStringLiteral(ZELKORA_CLI),
                 {"upload", "projekt.rel", "--port", server.rfc2217Url(0)});
    // Under way: the card has its first blocks.
    QElapsedTimer waited;
    waited.start();
    while (card.Received().size() < 40 && waited.elapsed() < 20000)
        QThread::msleep(10);
    ASSERT_GE(card.Received().size(), 40u) << "the upload did not start";
    const Result status = run({"status", "--port", server.rfc2217Url(0), "--json"});
    ASSERT_TRUE(upload.waitForFinished(30000));
    const QDateTime to = QDateTime::currentDateTime();
    EXPECT_EQ(upload.exitCode(), 0) << upload.readAllStandardError().toStdString();
    ExpectOneUploadAsSent(card, starter(), from, to);
    EXPECT_EQ(status.status, 1);
    const QJsonObject busy = QJsonDocument::fromJson(status.out.toUtf8())["karten"][0].toObject();
    EXPECT_FALSE(busy["erreichbar"].toBool());
    EXPECT_TRUE(busy["grund"].toString().contains(QStringLiteral("belegt")))
        << status.out.toStdString();
}

// A locked-down building: ser2net with TLS and client certificates in front of a card. The
// client's identity from keygen, the server trusted by its CA or by trust, and every refusal
// in one line, with nothing reaching the card.
TEST_F(Cli, TlsDeviceServersWithClientCertificates)
{
    if (!Ser2netRig::Available())
        GTEST_SKIP() << "ser2net is not installed (tools/setup.sh installs it)";
    std::string error;
    TestPki pki;
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("pki"))));
    ASSERT_TRUE(pki.make(m_dir.filePath(QStringLiteral("pki")), &error)) << error;
    const QString authDir = m_dir.filePath(QStringLiteral("auth"));

    // Who this computer is: the key for its owner alone, and what to do on the server.
    const Result made = run({"keygen", "--name", "leitstand"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const QString certificate = configDir() + QStringLiteral("/zelkora/client.crt");
    const QString key = configDir() + QStringLiteral("/zelkora/client.key");
    EXPECT_EQ(QFile::permissions(key),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_TRUE(made.out.contains(QStringLiteral("/leitstand/allowed_certs/")) &&
                made.out.contains(QStringLiteral("openssl rehash")))
        << made.out.toStdString();
    const QByteArray firstKey = [&] {
        QFile file(key);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    EXPECT_EQ(run({"keygen", "--name", "anders"}).status, 0);
    QFile kept(key);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), firstKey) << "an existing pair is kept without --force";
    ASSERT_TRUE(AllowClient(authDir, QStringLiteral("leitstand"), certificate, &error)) << error;

    CardSimPty &card = plugCard();
    Ser2netRig server;
    Ser2netRig::Options tls;
    tls.tls = Ser2netRig::Options::Tls{TestPki::KeyOf(pki.server).toStdString(),
                                       pki.server.toStdString(), authDir.toStdString()};
    ASSERT_TRUE(server.start({card.DevicePath()}, tls, &error)) << error;
    const QString telnet = server.rfc2217Url(0), raw = server.rawUrl(0);

    // Trusted by its CA: an upload byte for byte, 255 among the bytes, over RFC 2217 in TLS;
    // version and measurement in both forms.
    QByteArray image(1024, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i % 3 ? 255 : i);
    write("voll.rel", image);
    const Result upload = run({"upload", "voll.rel", "--port", telnet, "--ca", pki.ca});
    ASSERT_EQ(upload.status, 0) << upload.err.toStdString();
    ASSERT_EQ(card.Uploads().size(), 1u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 512, card.Uploads()[0].begin() + 1,
                           [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));
    for (const QString &port : {raw, telnet}) { // one card: one connection at a time
        const Result measured = run({"measure", "--port", port, "--ca", pki.ca});
        EXPECT_EQ(measured.status, 0) << measured.err.toStdString();
        EXPECT_TRUE(measured.out.contains(QStringLiteral("45 % rel. LF")))
            << measured.out.toStdString();
    }
    EXPECT_EQ(run({"version", "--port", raw, "--ca", pki.ca}).status, 0);

    // Each refusal: its status, its one line, and not one byte more at the card.
    QTcpServer silent; // accepts (the kernel does) and never answers the handshake
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString fingerprint = TestPki::FingerprintOf(pki.server);
    struct Refusal
    {
        const char *name;
        QStringList arguments;
        int status;
        QString says;
    };
    const QString plain = QString(telnet).replace(QStringLiteral("+tls"), QString());
    const std::vector<Refusal> refusals = {
        {"plain address to a TLS server",
         {"version", "--port", plain},
         1,
         QStringLiteral("Server erwartet TLS: rfc2217+tls:// verwenden")},
        {"server not trusted",
         {"version", "--port", telnet},
         1,
         QStringLiteral("unbekanntes Server-Zertifikat SHA256 %1; prüfen und mit zelkora-cli "
                        "trust %2 aufnehmen")
             .arg(fingerprint, telnet)},
        {"handshake that never ends",
         {"version", "--port",
          QStringLiteral("socket+tls://127.0.0.1:%1").arg(silent.serverPort())},
         1,
         QStringLiteral("TLS-Aushandlung nicht beendet")},
        {"--cert without --key",
         {"version", "--port", raw, "--cert", certificate},
         2,
         QStringLiteral("--cert und --key gehören zusammen")},
    };
    std::size_t received = card.Received().size();
    for (const Refusal &r : refusals) {
        QElapsedTimer took;
        took.start();
        const Result result = run(r.arguments);
        EXPECT_EQ(result.status, r.status) << r.name << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(r.says)) << r.name << ": " << result.err.toStdString();
        EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << r.name;
        EXPECT_EQ(card.Received().size(), received) << r.name;
    }

    // A certificate not allowed there, as ser2net tells it: closed right after the handshake.
    QString stranger;
    ASSERT_TRUE(pki.makeClient(QStringLiteral("fremd"), &stranger, &error)) << error;
    const Result refused = run({"upload", "voll.rel", "--port", telnet, "--ca", pki.ca, "--cert",
                                stranger, "--key", TestPki::KeyOf(stranger)});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral(
        "das Zertifikat mit dem Namen „fremd“ fehlt dort oder ist nicht zugelassen")))
        << refused.err.toStdString();
    // A key others may read is refused before any connection, as ssh does.
    QFile::setPermissions(TestPki::KeyOf(stranger),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const Result exposed =
        run({"version", "--port", raw, "--cert", stranger, "--key", TestPki::KeyOf(stranger)});
    EXPECT_EQ(exposed.status, 2);
    EXPECT_TRUE(exposed.err.contains(QStringLiteral("chmod 600 ") + TestPki::KeyOf(stranger)))
        << exposed.err.toStdString();
    EXPECT_EQ(card.Received().size(), received);

    // Trusted by its fingerprint: never without a terminal or --yes, then by trust --yes.
    const QString known = configDir() + QStringLiteral("/zelkora/known_servers");
    const Result asked = run({"trust", raw});
    EXPECT_EQ(asked.status, 2);
    EXPECT_FALSE(QFile::exists(known));
    EXPECT_TRUE(asked.out.contains(fingerprint)) << asked.out.toStdString();
    const Result trusted = run({"trust", raw, "--yes"});
    ASSERT_EQ(trusted.status, 0) << trusted.err.toStdString();
    EXPECT_EQ(run({"version", "--port", raw}).status, 0);
    received = card.Received().size();

    // The server back with another certificate: refused loudly, the record unchanged.
    const QByteArray record = [&] {
        QFile file(known);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    struct Swap
    {
        QString certificate;
        QString says;
    };
    for (const Swap &swap :
         {Swap{pki.selfSigned, QStringLiteral("Server-Zertifikat hat sich geändert: aufgezeichnet "
                                              "SHA256 ") +
                                   fingerprint},
          Swap{pki.expired, QStringLiteral("Server-Zertifikat abgelaufen (gültig von "
                                           "2020-01-01T00:00:00Z bis 2020-02-01T00:00:00Z)")}}) {
        tls.tls->cert = swap.certificate.toStdString();
        tls.tls->key = TestPki::KeyOf(swap.certificate).toStdString();
        ASSERT_TRUE(server.start({card.DevicePath()}, tls, &error)) << error;
        const Result changed = run({"version", "--port", raw, "--ca", pki.ca});
        EXPECT_EQ(changed.status, 1);
        EXPECT_TRUE(changed.err.contains(swap.says)) << changed.err.toStdString();
        QFile file(known);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), record);
    }
    EXPECT_EQ(card.Received().size(), received);
}
