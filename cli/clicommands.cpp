#include "clicommands.h"

#include "clioutput.h"
#include "configimage.h"
#include "fileaccess.h"
#include "projectfile.h"
#include "projectjson.h"
#include "projectmodel.h"
#include "projecttext.h"
#include "weekplan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <optional>

namespace Cli {
namespace {

const char *const Overview =
    "Aufruf: zelkora-cli BEFEHL [ARGUMENTE]\n"
    "\n"
    "Projekte (.rel) lesen, vergleichen und als Text bearbeiten, Wochenpläne zeichnen und\n"
    "viele Relaiskarten auf einmal einrichten.\n"
    "\n"
    "Befehle:\n"
    "  show DATEI                    das ganze Projekt lesbar, Relais für Relais\n"
    "  export DATEI [-o AUSGABE]     das Projekt als JSON (ohne -o auf die Standardausgabe)\n"
    "  import JSON -o AUSGABE        aus JSON wieder die .rel-Datei\n"
    "  diff A B                      Unterschiede zweier Projekte (.rel oder JSON)\n"
    "  plan DATEI -o BILD            Wochenplan als SVG, PNG oder PDF (nach der Endung)\n"
    "  upload DATEI --port P ...     das Projekt auf jede genannte Karte übertragen\n"
    "  version --port P ...          das Versionsbyte jeder Karte\n"
    "  measure --port P ...          Temperaturen und Luftfeuchte jeder Karte\n"
    "  ports                         was \"COM 1\" bis \"COM 9\" hier gerade öffnen\n"
    "  journal [--port P] [--last N] [--json]   was wann auf welche Karte ging\n"
    "  deploy ANLAGE.json [--plan] [--only-changed] [--report BERICHT.json]\n"
    "                                jede Karte eines Gebäudes mit ihrem Projekt\n"
    "\n"
    "P ist \"COM n\" (wie im Fenster aufgelöst), ein Gerätepfad wie /dev/ttyUSB0 oder die\n"
    "Adresse einer Karte hinter einem Geräteserver im Netz (zum Beispiel ser2net):\n"
    "  rfc2217://HOST:PORT    Telnet mit RFC 2217; stellt 2400 Baud 8N1 selbst ein\n"
    "  socket://HOST:PORT     rohes TCP (auch tcp://); die Leitung stellt der Server ein\n"
    "HOST ist ein Name, eine IPv4-Adresse oder eine IPv6-Adresse in Klammern ([fd00::5]).\n"
    "zelkora-cli BEFEHL --help erklärt einen Befehl.\n"
    "\n"
    "Rückgabewert: 0 Erfolg; 1 Projekte verschieden (diff) oder eine Karte gescheitert;\n"
    "2 falscher Aufruf oder unbrauchbare Eingabe.\n";

const std::map<QString, const char *> &CommandHelp()
{
    static const std::map<QString, const char *> help{
        {"show", "Aufruf: zelkora-cli show DATEI\n"
                 "\n"
                 "Zeigt das ganze Projekt, wie man es liest: jedes Relais unter seiner\n"
                 "Bezeichnung mit Verknüpfung, beiden Timern, Random, Sec. Timer, Temperatur\n"
                 "und Einschaltzustand, dann Lauflicht und Karte. Werte, die das Fenster so\n"
                 "nicht zeigen kann, stehen wie sie sind und tragen ein \"(!)\".\n"
                 "DATEI ist eine .rel-Datei oder ein Projekt als JSON.\n"},
        {"export", "Aufruf: zelkora-cli export DATEI [-o AUSGABE]\n"
                   "\n"
                   "Schreibt das Projekt als JSON, ohne -o auf die Standardausgabe. Das JSON\n"
                   "enthält jedes Feld und jedes Byte, so dass import daraus dieselben 1024\n"
                   "Bytes macht. Das Format beschreibt /usr/share/doc/zelkora/projekt-json.md.\n"},
        {"import", "Aufruf: zelkora-cli import JSON -o AUSGABE\n"
                   "\n"
                   "Macht aus einem Projekt als JSON wieder die .rel-Datei (1024 Bytes). Ein\n"
                   "unbekanntes oder fehlendes Feld und ein Wert außerhalb seines Bereichs\n"
                   "werden mit dem Pfad des Feldes abgelehnt; dann entsteht keine Datei.\n"},
        {"diff", "Aufruf: zelkora-cli diff A B\n"
                 "\n"
                 "Zeigt die Unterschiede zweier Projekte (.rel oder JSON, beliebig gemischt)\n"
                 "nach ihrer Bedeutung, eine Zeile je Feld. Eine Seite darf karte:PORT sein:\n"
                 "die letzte vollständige Übertragung auf diese Karte laut Journal, also\n"
                 "\"was sich auf der Karte ändern würde\":\n"
                 "  zelkora-cli diff \"karte:COM 3\" anlage.rel\n"
                 "  Relais 3 (Heizung), Timer 1, An: 06:30:00 → 07:00:00\n"
                 "Bytes, die kein Feld abdeckt, als \"Byte 300: 00 → 12\".\n"
                 "Rückgabewert 0 bei Gleichheit, 1 bei Unterschieden.\n"},
        {"plan", "Aufruf: zelkora-cli plan DATEI -o BILD\n"
                 "\n"
                 "Zeichnet den Wochenplan: für jedes Relais die Stunden von Montag bis Sonntag,\n"
                 "in denen Timer 1, Timer 2 und das Random-Fenster es einschalten können.\n"
                 "Relais, die Eingänge, der Sekundentimer oder die Temperatur schalten, werden\n"
                 "genannt statt gezeichnet. Das Format folgt der Endung: .svg, .png (150 dpi)\n"
                 "oder .pdf, jeweils eine A4-Seite. Braucht keine grafische Anzeige.\n"},
        {"upload", "Aufruf: zelkora-cli upload DATEI --port P [--port P ...]\n"
                   "\n"
                   "Überträgt das Projekt auf jede genannte Karte, alle zugleich. Jede Karte\n"
                   "muss zuerst die Version 137 melden. Eine Karte, die 2 Sekunden lang kein\n"
                   "erwartetes Byte schickt, ist gescheitert, mit dem Schritt, an dem sie\n"
                   "stehen blieb; die anderen laufen weiter. Der Schlussblock trägt Uhrzeit\n"
                   "und Wochentag des Augenblicks, in dem er gesendet wird.\n"
                   "P ist \"COM n\", ein Gerätepfad, rfc2217://HOST:PORT oder\n"
                   "socket://HOST:PORT, beliebig gemischt:\n"
                   "  zelkora-cli upload anlage.rel --port \"COM 1\" \\\n"
                   "      --port rfc2217://gw-keller:4001 --port socket://[fd00::5]:4002\n"
                   "Ein Geräteserver, der sich nicht in 5 Sekunden verbinden lässt, ist\n"
                   "gescheitert. Reißt die Verbindung mitten in der Übertragung ab, wird\n"
                   "nichts wiederholt: die Karte wartet auf den Rest ihres Blocks und muss vor\n"
                   "der nächsten Übertragung zurückgesetzt werden.\n"
                   "Rückgabewert 1, wenn eine Karte gescheitert ist; 2 bei einer Adresse, die\n"
                   "keine ist.\n"},
        {"version", "Aufruf: zelkora-cli version --port P [--port P ...]\n"
                    "\n"
                    "Fragt jede Karte nach ihrem Versionsbyte (137 ist die passende).\n"
                    "Rückgabewert 1, wenn eine Karte nicht antwortet.\n"},
        {"measure", "Aufruf: zelkora-cli measure --port P [--port P ...]\n"
                    "\n"
                    "Liest die drei Temperaturen und die Luftfeuchte jeder Karte, wie das\n"
                    "Fenster sie nach \"Messen\" zeigt.\n"},
        {"journal",
         "Aufruf: zelkora-cli journal [--port P] [--last N] [--json]\n"
         "\n"
         "Zeigt das Journal der Übertragungen, die neueste zuerst: wann, auf welchen Port\n"
         "(und was er erreichte), welches Projekt, der Anfang seines Hashs, wie es ausging\n"
         "und welches Programm es sandte. Ein \"*\" markiert je Karte die letzte\n"
         "vollständige Übertragung: das, was die Karte jetzt enthält. Das Journal steht in\n"
         "$XDG_STATE_HOME/zelkora (sonst ~/.local/state/zelkora); jede Übertragung des\n"
         "Fensters und von zelkora-cli schreibt eine Zeile hinein.\n"
         "--port P nur diese Karte (auch unter anderem Namen), --last N nur die N neuesten,\n"
         "--json als JSON.\n"},
        {"deploy",
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
         "Rückgabewert 0, wenn jede fällige Karte ihr Projekt hat; 1, wenn eine scheiterte;\n"
         "2 bei einer fehlerhaften Anlage (jeder Fehler mit seinem Pfad, nichts gesendet).\n"},
        {"ports", "Aufruf: zelkora-cli ports\n"
                  "\n"
                  "Zeigt, welches Gerät \"COM 1\" bis \"COM 9\" auf diesem Rechner gerade\n"
                  "öffnen, mit der Beschreibung des Adapters, oder die Adresse, die in der\n"
                  "Datei ~/.config/zelkora/com<n> steht:\n"
                  "  echo rfc2217://gw-keller:4001 > ~/.config/zelkora/com3\n"},
    };
    return help;
}

// Large enough for any JSON form, small enough that a wrong file is not read whole.
constexpr qint64 MaxInputBytes = 16 * 1024 * 1024;

// An input: a file, "-" or /dev/stdin for standard input, a pipe or process substitution read
// like a file. A folder says so; anything larger than any project or its JSON is refused with
// its size rather than cut.
bool ReadInputBytes(const QString &path, QByteArray &bytes, QString *why)
{
    const auto tooLarge = [&](qint64 size) {
        *why = QStringLiteral("zu groß für ein Projekt: %1 Bytes (höchstens %2)")
                   .arg(size)
                   .arg(MaxInputBytes);
        return false;
    };
    QFile file;
    if (path == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            return *why = QStringLiteral("Standardeingabe lässt sich nicht lesen"), false;
    } else {
        const QFileInfo info(path);
        if (info.isDir())
            return *why = QStringLiteral("ist ein Ordner"), false;
        if (info.isFile()) {
            if (info.size() > MaxInputBytes)
                return tooLarge(info.size());
            if (const FileStatus status = ReadFileHead(path, MaxInputBytes, false, bytes);
                !status.ok())
                return *why = FileErrorMessage(status), false;
            return true;
        }
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *why = info.exists() || info.isSymLink()
                       ? QStringLiteral("lässt sich nicht lesen")
                       : FileErrorMessage(FileStatus{FileError::FileNotFound});
            return false;
        }
    }
    // A stream: read until its end, one byte past the most that may come.
    bytes.clear();
    while (bytes.size() <= MaxInputBytes) {
        const QByteArray chunk = file.read(65536);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (bytes.size() > MaxInputBytes)
        return tooLarge(bytes.size());
    return true;
}

// An output file's folder must be there: otherwise the file system's "not found" would name
// the file, not what is missing.
bool OutputFolderThere(const QString &path, const Streams &streams)
{
    if (path == QLatin1String("-"))
        return true;
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) {
        Error(streams, path,
              QStringLiteral("den Ordner %1 gibt es nicht").arg(info.absolutePath()));
        return false;
    }
    return true;
}

std::optional<ConfigImage> ImageFromJson(const QString &path, const QByteArray &text,
                                         const Streams &streams)
{
    JsonError error;
    const std::optional<ProjectModel> model = ProjectFromJson(text, error);
    if (!model) {
        Error(streams, path, error.text());
        return std::nullopt;
    }
    return EncodeProject(*model);
}

bool ReadInput(const QString &path, QByteArray &bytes, const Streams &streams)
{
    QString why;
    if (!ReadInputBytes(path, bytes, &why)) {
        Error(streams, path, why);
        return false;
    }
    return true;
}

bool Reported(const QString &path, const FileStatus &status, const Streams &streams)
{
    if (!status.ok())
        Error(streams, path, FileErrorMessage(status));
    return status.ok();
}

// "-" is standard output.
bool WriteOutput(const QString &path, const QByteArray &data, const Streams &streams)
{
    if (path == QLatin1String("-")) {
        std::fwrite(data.constData(), 1, static_cast<std::size_t>(data.size()), streams.out);
        std::fflush(streams.out);
        return true;
    }
    return OutputFolderThere(path, streams) &&
           Reported(path, WriteFileAtomically(path, data), streams);
}

// The arguments of one command: positional ones and "-o FILE".
struct Arguments
{
    QStringList positional;
    QString output;
};

bool ParseArguments(const QString &command, const QStringList &options, bool takesOutput,
                    Arguments &args, const Streams &streams)
{
    bool optionsEnded = false;
    for (int i = 0; i < options.size(); ++i) {
        const QString &option = options[i];
        // After "--" every argument is a file, also one named "-x.rel".
        if (optionsEnded) {
            args.positional << option;
        } else if (option == QLatin1String("--")) {
            optionsEnded = true;
        } else if (takesOutput &&
                   (option == QLatin1String("-o") || option == QLatin1String("--output"))) {
            if (i + 1 >= options.size()) {
                Error(streams, command, option + QStringLiteral(" ohne Dateinamen"));
                return false;
            }
            args.output = options[++i];
        } else if (option.startsWith(QLatin1Char('-')) && option.size() > 1) {
            Error(streams, command, QStringLiteral("unbekannte Option %1").arg(option));
            return false;
        } else {
            args.positional << option;
        }
    }
    return true;
}

bool ExpectCount(const QString &command, const Arguments &args, int count, const Streams &streams)
{
    if (args.positional.size() == count)
        return true;
    Error(streams, command,
          QStringLiteral("erwartet %1 %2, nicht %3 (zelkora-cli %4 --help)")
              .arg(count)
              .arg(count == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
              .arg(args.positional.size())
              .arg(command));
    return false;
}

// The one project a command works on.
std::optional<ConfigImage> TheProject(const QString &command, const Arguments &args,
                                      const Streams &streams)
{
    if (!ExpectCount(command, args, 1, streams))
        return std::nullopt;
    return LoadProject(args.positional[0], streams);
}

int Show(const Arguments &args, const Streams &streams)
{
    const auto image = TheProject(QStringLiteral("show"), args, streams);
    if (!image)
        return BadInput;
    Print(streams.out, ShowProject(*image));
    return Success;
}

int Export(const Arguments &args, const Streams &streams)
{
    const auto image = TheProject(QStringLiteral("export"), args, streams);
    if (!image)
        return BadInput;
    if (args.output.endsWith(QLatin1String(".rel"), Qt::CaseInsensitive)) {
        Error(streams, args.output,
              QStringLiteral("export schreibt JSON, keine .rel-Datei (die schreibt import)"));
        return BadInput;
    }
    const QByteArray json = ProjectToJson(DecodeProject(*image));
    if (args.output.isEmpty()) {
        std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), streams.out);
        return Success;
    }
    return WriteOutput(args.output, json, streams) ? Success : BadInput;
}

int Import(const Arguments &args, const Streams &streams)
{
    if (!ExpectCount(QStringLiteral("import"), args, 1, streams))
        return BadInput;
    if (args.output.isEmpty()) {
        Error(streams, QStringLiteral("import"), QStringLiteral("-o AUSGABE fehlt"));
        return BadInput;
    }
    if (args.output.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
        Error(streams, args.output,
              QStringLiteral("import schreibt eine .rel-Datei, kein JSON (das schreibt export)"));
        return BadInput;
    }
    if (!OutputFolderThere(args.output, streams))
        return BadInput;
    QByteArray text;
    const QString &path = args.positional[0];
    if (!ReadInput(path, text, streams))
        return BadInput;
    const auto image = ImageFromJson(path, text, streams);
    if (!image)
        return BadInput;
    if (args.output == QLatin1String("-"))
        return WriteOutput(
                   args.output,
                   QByteArray(reinterpret_cast<const char *>(image->data()), ConfigImage::Size),
                   streams)
                   ? Success
                   : BadInput;
    return Reported(args.output, SaveProjectFile(args.output, *image), streams) ? Success
                                                                                : BadInput;
}

int Diff(const Arguments &args, const Streams &streams)
{
    if (!ExpectCount(QStringLiteral("diff"), args, 2, streams))
        return BadInput;
    const auto a = LoadProjectOrCard(args.positional[0], streams);
    const auto b = a ? LoadProjectOrCard(args.positional[1], streams) : std::nullopt;
    if (!a || !b)
        return BadInput;
    const QStringList lines = DiffProjects(*a, *b);
    for (const QString &line : lines)
        Print(streams.out, line + QLatin1Char('\n'));
    return lines.isEmpty() ? Success : Differs;
}

int Plan(const Arguments &args, const Streams &streams)
{
    if (args.output.isEmpty()) {
        Error(streams, QStringLiteral("plan"), QStringLiteral("-o BILD fehlt"));
        return BadInput;
    }
    const PictureFormat format = PictureFormatOf(args.output);
    if (format == PictureFormat::Unknown) {
        Error(streams, args.output,
              QStringLiteral("unbekanntes Bildformat (erwartet .svg, .png oder .pdf)"));
        return BadInput;
    }
    const auto image = TheProject(QStringLiteral("plan"), args, streams);
    if (!image)
        return BadInput;
    QString why;
    const QByteArray picture = WeekPlanPicture(MakeWeekPlan(*image), format, &why);
    if (picture.isEmpty()) {
        Error(streams, args.output, why);
        return BadInput;
    }
    return WriteOutput(args.output, picture, streams) ? Success : BadInput;
}

} // namespace

void Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString Visible(const QString &text, qsizetype limit)
{
    const QString out = VisibleText(text);
    return out.size() > limit ? out.left(limit - 1) + QStringLiteral("…") : out;
}

void Error(const Streams &streams, const QString &what, const QString &why)
{
    // One line whatever a name or value holds: control characters are written visibly and a
    // long one is cut.
    Print(streams.err, QStringLiteral("zelkora-cli: ") + Visible(what, 160) + QStringLiteral(": ") +
                           Visible(why, 400) + QLatin1Char('\n'));
}

bool NeedsGui(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first() == QLatin1String("plan");
}

int Run(const QStringList &arguments, const Streams &streams)
{
    if (arguments.isEmpty()) {
        Print(streams.err, QString::fromUtf8(Overview));
        return BadInput;
    }
    QString command = arguments.first();
    QStringList options = arguments.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        if (!options.isEmpty() && CommandHelp().count(options.first())) {
            Print(streams.out, QString::fromUtf8(CommandHelp().at(options.first())));
            return Success;
        }
        Print(streams.out, QString::fromUtf8(Overview));
        return Success;
    }
    if (!CommandHelp().count(command)) {
        Error(streams, command, QStringLiteral("unbekannter Befehl (zelkora-cli --help)"));
        return BadInput;
    }
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        Print(streams.out, QString::fromUtf8(CommandHelp().at(command)));
        return Success;
    }
    static const QStringList cardCommands{"upload", "version", "measure",
                                          "ports",  "journal", "deploy"};
    if (cardCommands.contains(command))
        return RunCardCommand(command, options, streams);

    Arguments args;
    const bool takesOutput = command != QLatin1String("show") && command != QLatin1String("diff");
    if (!ParseArguments(command, options, takesOutput, args, streams))
        return BadInput;
    if (command == QLatin1String("show"))
        return Show(args, streams);
    if (command == QLatin1String("export"))
        return Export(args, streams);
    if (command == QLatin1String("import"))
        return Import(args, streams);
    if (command == QLatin1String("diff"))
        return Diff(args, streams);
    return Plan(args, streams);
}

std::optional<ConfigImage> ReadProject(const QString &path, QString *why, QString *note)
{
    QByteArray bytes;
    if (!ReadInputBytes(path, bytes, why))
        return std::nullopt;
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool json = suffix == QLatin1String("json") ||
                      (suffix != QLatin1String("rel") && bytes.size() != ConfigImage::Size &&
                       bytes.trimmed().startsWith('{'));
    if (json) {
        JsonError error;
        const std::optional<ProjectModel> model = ProjectFromJson(bytes, error);
        if (!model) {
            *why = error.text();
            return std::nullopt;
        }
        return EncodeProject(*model);
    }
    // Only exactly 1024 bytes are a project: anything else sent to a card or read as one would
    // be a wrong result reported as right.
    if (bytes.size() != ConfigImage::Size && bytes.trimmed().startsWith('{')) {
        *why = QStringLiteral("ist JSON, keine .rel-Datei (%1 Bytes); als .json benennen")
                   .arg(bytes.size());
        return std::nullopt;
    }
    if (bytes.size() < ConfigImage::Size) {
        *why = QStringLiteral("zu kurz für ein Projekt: %1 Bytes statt 1024").arg(bytes.size());
        return std::nullopt;
    }
    if (bytes.size() > ConfigImage::Size) {
        *why = QStringLiteral("keine Projektdatei: %1 Bytes statt 1024").arg(bytes.size());
        return std::nullopt;
    }
    Q_UNUSED(note);
    ConfigImage image;
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), ConfigImage::Size,
                image.data());
    return image;
}

std::optional<ConfigImage> LoadProject(const QString &path, const Streams &streams)
{
    QString why, note;
    const std::optional<ConfigImage> image = ReadProject(path, &why, &note);
    if (!image)
        Error(streams, path, why);
    else if (!note.isEmpty())
        Error(streams, path, note);
    return image;
}

} // namespace Cli
