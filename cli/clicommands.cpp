#include "cli/clicommands.h"

#include "cli/arguments.h"
#include "cli/clioutput.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "forms/projecttext.h"
#include "link/addressforms.h"

#include <vector>

namespace Cli {
namespace {

// The overview of every command, its lines taken from the command table.
QString Overview();

// Every command: its name, its help, its options and what runs it.
const std::vector<CommandRule> &Commands()
{
    static const std::vector<CommandRule> commands{
        {
            .name = "show",
            .synopsis = "show DATEI",
            .summary = "das ganze Projekt lesbar, Relais für Relais",
            .help = "Aufruf: zelkora-cli show DATEI\n"
                    "\n"
                    "Zeigt das ganze Projekt, wie man es liest: jedes Relais unter seiner\n"
                    "Bezeichnung mit Verknüpfung, beiden Timern, Random, Sec. Timer, Temperatur\n"
                    "und Einschaltzustand, dann Lauflicht und Karte. Werte, die das Fenster so\n"
                    "nicht zeigen kann, stehen wie sie sind und tragen ein \"(!)\".\n"
                    "DATEI ist eine .rel-Datei oder ein Projekt als JSON.\n",
            .style = ArgumentStyle::Files,
            .options = {},
            .run = Show,
        },
        {
            .name = "export",
            .synopsis = "export DATEI [-o AUSGABE]",
            .summary = "das Projekt als JSON (ohne -o auf die Standardausgabe)",
            .help = "Aufruf: zelkora-cli export DATEI [-o AUSGABE]\n"
                    "\n"
                    "Schreibt das Projekt als JSON, ohne -o auf die Standardausgabe. Das JSON\n"
                    "enthält jedes Feld und jedes Byte, so dass import daraus dieselben 1024\n"
                    "Bytes macht. Das Format beschreibt /usr/share/doc/zelkora/projekt-json.md.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Output},
            .run = Export,
        },
        {
            .name = "import",
            .synopsis = "import JSON -o AUSGABE",
            .summary = "aus JSON wieder die .rel-Datei",
            .help = "Aufruf: zelkora-cli import JSON -o AUSGABE\n"
                    "\n"
                    "Macht aus einem Projekt als JSON wieder die .rel-Datei (1024 Bytes). Ein\n"
                    "unbekanntes oder fehlendes Feld und ein Wert außerhalb seines Bereichs\n"
                    "werden mit dem Pfad des Feldes abgelehnt; dann entsteht keine Datei.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Output},
            .run = Import,
        },
        {
            .name = "diff",
            .synopsis = "diff A B",
            .summary = "Unterschiede zweier Projekte (.rel oder JSON)",
            .help = "Aufruf: zelkora-cli diff A B\n"
                    "\n"
                    "Zeigt die Unterschiede zweier Projekte (.rel oder JSON, beliebig gemischt)\n"
                    "nach ihrer Bedeutung, eine Zeile je Feld. Eine Seite darf karte:PORT sein:\n"
                    "was die Karte laut Journal enthält (ihre letzte Übertragung, wenn sie\n"
                    "vollständig war; sonst lehnt diff ab), also\n"
                    "\"was sich auf der Karte ändern würde\":\n"
                    "  zelkora-cli diff \"karte:COM 3\" anlage.rel\n"
                    "  Relais 3 (Heizung), Timer 1, An: 06:30:00 → 07:00:00\n"
                    "Bytes, die kein Feld abdeckt, als \"Byte 300: 00 → 12\".\n"
                    "Rückgabewert 0 bei Gleichheit, 1 bei Unterschieden.\n",
            .style = ArgumentStyle::Files,
            .options = {},
            .run = Diff,
        },
        {
            .name = "plan",
            .synopsis = "plan DATEI -o BILD",
            .summary = "Wochenplan als SVG, PNG oder PDF (nach der Endung)",
            .help =
                "Aufruf: zelkora-cli plan DATEI -o BILD\n"
                "\n"
                "Zeichnet den Wochenplan: für jedes Relais die Stunden von Montag bis Sonntag,\n"
                "in denen Timer 1, Timer 2 und das Random-Fenster es einschalten können.\n"
                "Relais, die Eingänge, der Sekundentimer oder die Temperatur schalten, werden\n"
                "genannt statt gezeichnet. Das Format folgt der Endung: .svg, .png (150 dpi)\n"
                "oder .pdf, jeweils eine A4-Seite. Braucht keine grafische Anzeige.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Output},
            .drawsPictures = true,
            .run = Plan,
        },
        {
            .name = "upload",
            .synopsis = "upload DATEI --port P ...",
            .summary = "das Projekt auf jede genannte Karte übertragen",
            .help = "Aufruf: zelkora-cli upload DATEI --port P [--port P ...]\n"
                    "\n"
                    "Überträgt das Projekt auf jede genannte Karte, alle zugleich. Jede Karte\n"
                    "muss zuerst die Version 137 melden. Eine Karte, die 2 Sekunden lang kein\n"
                    "erwartetes Byte schickt, ist gescheitert, mit dem Schritt, an dem sie\n"
                    "stehen blieb; die anderen laufen weiter. Der Schlussblock trägt Uhrzeit\n"
                    "und Wochentag des Augenblicks, in dem er gesendet wird.\n"
                    "P ist \"COM n\", ein Gerätepfad oder die Adresse eines Geräteservers\n"
                    "(die Formen nennt zelkora-cli --help), beliebig gemischt:\n"
                    "  zelkora-cli upload anlage.rel --port \"COM 1\" \\\n"
                    "      --port rfc2217://gw-keller:4001 --port socket://[fd00::5]:4002\n"
                    "Ein Geräteserver, der sich nicht in 5 Sekunden verbinden lässt, ist\n"
                    "gescheitert. Reißt die Verbindung mitten in der Übertragung ab, wird\n"
                    "nichts wiederholt: die Karte wartet auf den Rest ihres Blocks und muss vor\n"
                    "der nächsten Übertragung zurückgesetzt werden. Ebenso, wenn die Leitung\n"
                    "gestört ist (eine Bestätigung, auf die kein Block wartet).\n"
                    "Jede Übertragung steht im Journal (zelkora-cli journal); lässt es sich nicht\n"
                    "schreiben, wird nichts gesendet. Ctrl-C lässt laufende Übertragungen zu Ende\n"
                    "gehen, ein zweites bricht ab.\n"
                    "Rückgabewert 1, wenn eine Karte gescheitert ist; 2 bei einer Adresse, die\n"
                    "keine ist; 128 + Signal nach einem Signal.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Port, Option::Cert, Option::Key, Option::Ca},
            .run = Upload,
        },
        {
            .name = "version",
            .synopsis = "version --port P ... [--json]",
            .summary = "das Versionsbyte jeder Karte",
            .help =
                "Aufruf: zelkora-cli version --port P [--port P ...] [--json]\n"
                "\n"
                "Fragt jede Karte nach ihrem Versionsbyte (137 ist die passende), eine Zeile je\n"
                "Karte in der genannten Reihenfolge. --json schreibt ein Dokument wie status "
                "--json.\n"
                "Rückgabewert 1, wenn eine Karte nicht antwortet.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Port, Option::Json, Option::Cert, Option::Key, Option::Ca},
            .run = Version,
        },
        {
            .name = "measure",
            .synopsis = "measure --port P ... [--json]",
            .summary = "Temperaturen und Luftfeuchte jeder Karte",
            .help = "Aufruf: zelkora-cli measure --port P [--port P ...]\n"
                    "\n"
                    "Liest die drei Temperaturen und die Luftfeuchte jeder Karte, wie das\n"
                    "Fenster sie nach \"Messen\" zeigt, eine Zeile je Karte in der genannten\n"
                    "Reihenfolge; ein Wert, den kein Sensor liefern kann (mehr als 100 % "
                    "Luftfeuchte),\n"
                    "trägt ein \"(!)\". --json schreibt ein Dokument wie status --json.\n",
            .style = ArgumentStyle::Files,
            .options = {Option::Port, Option::Json, Option::Cert, Option::Key, Option::Ca},
            .run = Measure,
        },
        {
            .name = "ports",
            .synopsis = "ports [--json]",
            .summary = "was \"COM 1\" bis \"COM 9\" hier gerade öffnen",
            .help = "Aufruf: zelkora-cli ports\n"
                    "\n"
                    "Zeigt, welches Gerät \"COM 1\" bis \"COM 9\" auf diesem Rechner gerade\n"
                    "öffnen, mit der Beschreibung des Adapters, oder die Adresse, die in der\n"
                    "Datei ~/.config/zelkora/com<n> steht:\n"
                    "  echo rfc2217://gw-keller:4001 > ~/.config/zelkora/com3\n"
                    "--json als JSON: {\"format\": \"zelkora-ports\", \"version\": 1, \"ports\":\n"
                    "[{\"name\": \"COM 1\", \"beschreibung\": \"/dev/ttyS0, 16550A\"}, ...]}\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Json},
            .maxFiles = 0,
            .run = Ports,
        },
        {
            .name = "journal",
            .synopsis = "journal [--port P] [--last N] [--json]",
            .summary = "was wann auf welche Karte ging",
            .help =
                "Aufruf: zelkora-cli journal [--port P] [--last N] [--json]\n"
                "\n"
                "Zeigt das Journal der Übertragungen, die neueste zuerst: wann, auf welchen Port\n"
                "(und was er erreichte), welches Projekt, der Anfang seines Hashs, wie es ausging\n"
                "und welches Programm es sandte. Jede Übertragung des Fensters und von\n"
                "zelkora-cli schreibt zwei Zeilen: \"begonnen\" vor dem ersten Byte und wie sie\n"
                "endete. Ein \"*\" markiert je Karte, was sie jetzt enthält: ihre letzte\n"
                "Übertragung, wenn diese vollständig war; sonst ist ihr Inhalt unbekannt. Das\n"
                "Journal steht in $XDG_STATE_HOME/zelkora (sonst ~/.local/state/zelkora).\n"
                "--port P nur diese Karte (auch unter anderem Namen), --last N nur die N "
                "neuesten,\n"
                "--json als JSON.\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Port, Option::Last, Option::Json},
            .maxFiles = 0,
            .run = Journal,
        },
        {
            .name = "deploy",
            .synopsis = "deploy ANLAGE.json [--plan] [--only-changed] [--report BERICHT.json]",
            .summary = "jede Karte eines Gebäudes mit ihrem Projekt",
            .help =
                "Aufruf: zelkora-cli deploy ANLAGE.json [--plan] [--only-changed] [--report "
                "BERICHT.json]\n"
                "\n"
                "Überträgt jeder Karte eines Gebäudes ihr eigenes Projekt, alle zugleich. Die\n"
                "Anlage nennt die Karten (Projekte relativ zur Anlage, .rel oder JSON):\n"
                "  {\"format\": \"zelkora-anlage\", \"version\": 1, \"karten\": [\n"
                "    {\"name\": \"Keller\", \"port\": \"rfc2217://gw-keller:4001\", \"projekt\": "
                "\"keller.rel\"},\n"
                "    {\"name\": \"Dach\", \"port\": \"COM 3\", \"projekt\": \"dach.json\"}]}\n"
                "--plan überträgt nichts und zeigt je Karte, was sich gegenüber ihrer letzten\n"
                "vollständigen Übertragung ändern würde; --only-changed lässt Karten aus, die\n"
                "schon ihr Projekt haben; --report schreibt je Karte Name, Port, Projekt, Hash,\n"
                "Ergebnis mit Grund und Zeiten als JSON. Das Format beschreibt\n"
                "/usr/share/doc/zelkora/anlage-json.md.\n"
                "Eine Karte, deren letzte Übertragung nicht vollständig war, gilt als unbekannt\n"
                "und wird übertragen. Journal und Bericht müssen sich schreiben lassen, bevor\n"
                "etwas gesendet wird. Ctrl-C lässt laufende Übertragungen zu Ende gehen, ein\n"
                "zweites bricht ab.\n"
                "--plan mit --report schreibt den Plan als Bericht (jede Karte \"geplant\" oder\n"
                "\"übersprungen\"), mit --json auf die Standardausgabe. --plan gibt 1 zurück, "
                "wenn\n"
                "sich eine Karte ändern würde, sonst 0.\n"
                "Rückgabewert 0, wenn jede fällige Karte ihr Projekt hat; 1, wenn eine "
                "scheiterte;\n"
                "2 bei einer fehlerhaften Anlage (jeder Fehler mit seinem Pfad, nichts gesendet);\n"
                "128 + Signal nach einem Signal.\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Plan, Option::OnlyChanged, Option::Report, Option::Json,
                        Option::Cert, Option::Key, Option::Ca},
            .maxFiles = 1,
            .run = Deploy,
        },
        {
            .name = "status",
            .synopsis =
                "status ANLAGE.json | --port P ... [--json] [--prometheus DATEI] [--watch S]",
            .summary = "wie jede Karte steht: Antwort, Messung, Journal",
            .help =
                "Aufruf: zelkora-cli status ANLAGE.json [--json] [--prometheus DATEI] [--watch S]\n"
                "       zelkora-cli status --port P [--port P ...] [...]\n"
                "\n"
                "Zeigt, wie jede Karte steht, alle zugleich, eine Zeile je Karte: ob sie "
                "antwortet\n"
                "(oder belegt ist), ihre Version, die drei Temperaturen und die Luftfeuchte, ihre\n"
                "letzte Übertragung laut Journal und mit einer Anlage ihren Stand:\n"
                "  aktuell         zuletzt vollständig übertragen, und das Projekt ist dasselbe\n"
                "  geändert        zuletzt vollständig übertragen, das Projekt ist seitdem anders\n"
                "  nie übertragen  keine Übertragung auf sie im Journal\n"
                "  unbekannt       die letzte Übertragung endete nicht vollständig: die Karte\n"
                "                  zurücksetzen und neu übertragen\n"
                "Liest nur: jede Karte wird nach Version und Messung gefragt, sonst nichts; eine\n"
                "belegte Karte (ein anderes Programm hält ihren Port, der Server meldet \"in "
                "use\")\n"
                "bleibt unberührt. Eine Karte mit anderer Version wird nicht gemessen.\n"
                "--json ein JSON-Dokument (mit --watch eines je Runde, jedes in einer Zeile); das\n"
                "Format beschreibt /usr/share/doc/zelkora/anlage-json.md.\n"
                "--prometheus DATEI schreibt die Werte als Prometheus-Metriken, ganz oder gar "
                "nicht\n"
                "(für den Textdatei-Sammler des node exporter, Dateiname auf .prom).\n"
                "--watch S fragt alle S Sekunden neu, bis Ctrl-C; die Tabelle wird an ihrer "
                "Stelle\n"
                "neu gezeichnet, die Metriken jede Runde neu geschrieben.\n"
                "Rückgabewert 0, wenn jede Karte mit Version 137 antwortete, gemessen wurde und\n"
                "(mit Anlage) aktuell ist; sonst 1; 2 bei falschem Aufruf. Mit --watch der\n"
                "Rückgabewert der letzten ganzen Runde.\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Port, Option::Json, Option::Prometheus, Option::Watch, Option::Cert,
                        Option::Key, Option::Ca},
            .maxFiles = 1,
            .run = Status,
        },
        {
            .name = "keygen",
            .synopsis = "keygen [--name NAME] [--force]",
            .summary = "das Client-Zertifikat für TLS-Geräteserver erzeugen",
            .help = "Aufruf: zelkora-cli keygen [--name NAME] [--force]\n"
                    "\n"
                    "Erzeugt einen Schlüssel und ein selbst signiertes Client-Zertifikat, das\n"
                    "Fenster und zelkora-cli jedem TLS-Geräteserver zeigen (rfc2217+tls://,\n"
                    "socket+tls://): ~/.config/zelkora/client.crt und client.key (nur für Sie\n"
                    "lesbar), gültig 10 Jahre, mit NAME als Namen (sonst der Anmeldename; ser2net\n"
                    "sucht das Zertifikat unter authdir/NAME/allowed_certs/). Schreibt den\n"
                    "SHA-256-Fingerabdruck und was auf dem Server zu tun ist. Ein vorhandenes\n"
                    "Paar bleibt, außer mit --force.\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Name, Option::Force},
            .maxFiles = 0,
            .run = Keygen,
        },
        {
            .name = "trust",
            .synopsis = "trust ADRESSE [--yes]",
            .summary = "dem Zertifikat eines TLS-Geräteservers vertrauen",
            .help =
                "Aufruf: zelkora-cli trust ADRESSE [--yes] [--ca DATEI] [--cert DATEI --key "
                "DATEI]\n"
                "\n"
                "Verbindet sich mit dem TLS-Geräteserver (rfc2217+tls:// oder socket+tls://),\n"
                "zeigt sein Zertifikat (Inhaber, Aussteller, Gültigkeit, SHA-256-Fingerabdruck)\n"
                "und fragt, ob es für diesen Rechner und Port aufgenommen wird\n"
                "(~/.config/zelkora/known_servers). --yes nimmt ohne Frage auf, für Skripte,\n"
                "die den Fingerabdruck auf anderem Weg geprüft haben; ohne Terminal und ohne\n"
                "--yes wird nichts aufgenommen. Ein aufgezeichnetes Zertifikat, das sich\n"
                "geändert hat, wird nur hier ersetzt, nachdem beide gezeigt sind. Der Karte\n"
                "wird nichts gesendet.\n"
                "Sonst vertraut wird einem Zertifikat, dessen Kette bei einer Stelle des\n"
                "Systems, bei --ca DATEI oder bei ~/.config/zelkora/ca.crt endet und das den\n"
                "Rechner nennt. Rückgabewert 0 aufgenommen oder schon vertraut, 1 nicht\n"
                "aufgenommen oder Server nicht erreicht, 2 falscher Aufruf.\n",
            .style = ArgumentStyle::Strict,
            .options = {Option::Yes, Option::Ca, Option::Cert, Option::Key},
            .maxFiles = 1,
            .run = Trust,
        },
    };
    return commands;
}

// One line per address form: "  rfc2217://HOST:PORT    Telnet mit RFC 2217; …", its aliases
// named behind it.
QString AddressFormHelp()
{
    QString text;
    for (const AddressForm &form : AddressForms()) {
        if (!form.isNetwork() || form.aliasOf)
            continue;
        QString line = QStringLiteral("  %1://HOST:PORT").arg(QLatin1String(form.scheme));
        line = line.leftJustified(29) + QString::fromUtf8(form.help);
        for (const AddressForm &alias : AddressForms())
            if (alias.aliasOf && qstrcmp(alias.aliasOf, form.scheme) == 0)
                line += QStringLiteral(" (auch %1://)").arg(QLatin1String(alias.scheme));
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString Overview()
{
    QString text = QStringLiteral(
        "Aufruf: zelkora-cli BEFEHL [ARGUMENTE]\n"
        "\n"
        "Projekte (.rel) lesen, vergleichen und als Text bearbeiten, Wochenpläne zeichnen und\n"
        "viele Relaiskarten auf einmal einrichten.\n"
        "\n"
        "Befehle:\n");
    constexpr int Column = 32, Width = 80;
    for (const CommandRule &command : Commands()) {
        const QString synopsis = QStringLiteral("  ") + QString::fromUtf8(command.synopsis);
        const QString summary = QString::fromUtf8(command.summary);
        if (synopsis.size() < Column)
            text += synopsis.leftJustified(Column) + summary + QLatin1Char('\n');
        else if (synopsis.size() + 3 + summary.size() <= Width)
            text += synopsis + QStringLiteral("   ") + summary + QLatin1Char('\n');
        else
            text +=
                synopsis + QLatin1Char('\n') + QString(Column, u' ') + summary + QLatin1Char('\n');
    }
    return text +
           QStringLiteral(
               "\n"
               "P ist \"COM n\" (wie im Fenster aufgelöst), ein Gerätepfad wie /dev/ttyUSB0 oder "
               "die\n"
               "Adresse einer Karte hinter einem Geräteserver im Netz (zum Beispiel ser2net):\n") +
           AddressFormHelp() +
           QStringLiteral(
               "HOST ist ein Name, eine IPv4-Adresse oder eine IPv6-Adresse in Klammern "
               "([fd00::5]).\n"
               "Über TLS zeigt zelkora-cli das Zertifikat aus zelkora-cli keygen (oder --cert\n"
               "DATEI --key DATEI) und vertraut einem Server, den zelkora-cli trust aufnahm oder\n"
               "dessen Kette bei einer Stelle des Systems, ~/.config/zelkora/ca.crt oder --ca\n"
               "DATEI endet (--cert, --key und --ca bei upload, version, measure, deploy, "
               "status).\n"
               "zelkora-cli BEFEHL --help erklärt einen Befehl.\n"
               "\n"
               "Rückgabewert: 0 Erfolg; 1 Projekte verschieden (diff), eine Karte gescheitert\n"
               "(upload, version, measure, deploy) oder nicht in Ordnung (status); 2 falscher "
               "Aufruf\n"
               "oder unbrauchbare Eingabe; 128 + Signal nach einem Signal.\n");
}

const CommandRule *FindCommand(const QString &name)
{
    for (const CommandRule &command : Commands()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

} // namespace

bool NeedsGui(const QStringList &arguments)
{
    const CommandRule *command = arguments.isEmpty() ? nullptr : FindCommand(arguments.first());
    return command && command->drawsPictures;
}

int Run(const QStringList &arguments, const Streams &streams)
{
    if (arguments.isEmpty()) {
        Print(streams.err, Overview());
        return BadInput;
    }
    const QString &name = arguments.first();
    const QStringList options = arguments.mid(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        const CommandRule *command = options.isEmpty() ? nullptr : FindCommand(options.first());
        Print(streams.out, command ? QString::fromUtf8(command->help) : Overview());
        return Success;
    }
    const CommandRule *command = FindCommand(name);
    if (!command) {
        Error(streams, name, QStringLiteral("unbekannter Befehl (zelkora-cli --help)"));
        return BadInput;
    }
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        Print(streams.out, QString::fromUtf8(command->help));
        return Success;
    }
    const std::optional<Arguments> parsed = ParseArguments(*command, options, streams);
    return parsed ? command->run(*parsed, streams) : BadInput;
}

} // namespace Cli
