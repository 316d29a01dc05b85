#include "cli/arguments.h"
#include "cli/clioutput.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "config/fileaccess.h"
#include "config/projectfile.h"
#include "forms/projectjson.h"
#include "forms/projectmodel.h"
#include "forms/projectreader.h"
#include "forms/projecttext.h"
#include "forms/weekplan.h"
#include "plan/planpicture.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

// The commands on project files: show, export, import, diff and plan.
namespace Cli {
namespace {

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
    QString why;
    const std::optional<ConfigImage> image = ImageFromJsonText(text, &why);
    if (!image)
        Error(streams, path, why);
    return image;
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

bool ExpectCount(const QString &command, const Arguments &args, int count, const Streams &streams)
{
    if (args.files.size() == count)
        return true;
    Error(streams, command,
          QStringLiteral("erwartet %1 %2, nicht %3 (zelkora-cli %4 --help)")
              .arg(count)
              .arg(count == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
              .arg(args.files.size())
              .arg(command));
    return false;
}

// The one project a command works on.
std::optional<ConfigImage> TheProject(const QString &command, const Arguments &args,
                                      const Streams &streams)
{
    if (!ExpectCount(command, args, 1, streams))
        return std::nullopt;
    return LoadProject(args.files[0], streams);
}

} // namespace

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
    const QString output = args.value(Option::Output);
    const auto image = TheProject(QStringLiteral("export"), args, streams);
    if (!image)
        return BadInput;
    if (output.endsWith(QLatin1String(".rel"), Qt::CaseInsensitive)) {
        Error(streams, output,
              QStringLiteral("export schreibt JSON, keine .rel-Datei (die schreibt import)"));
        return BadInput;
    }
    const QByteArray json = ProjectToJson(DecodeProject(*image));
    if (output.isEmpty()) {
        std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), streams.out);
        return Success;
    }
    return WriteOutput(output, json, streams) ? Success : BadInput;
}

int Import(const Arguments &args, const Streams &streams)
{
    const QString output = args.value(Option::Output);
    if (!ExpectCount(QStringLiteral("import"), args, 1, streams))
        return BadInput;
    if (output.isEmpty()) {
        Error(streams, QStringLiteral("import"), QStringLiteral("-o AUSGABE fehlt"));
        return BadInput;
    }
    if (output.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
        Error(streams, output,
              QStringLiteral("import schreibt eine .rel-Datei, kein JSON (das schreibt export)"));
        return BadInput;
    }
    if (!OutputFolderThere(output, streams))
        return BadInput;
    QByteArray text;
    const QString &path = args.files[0];
    if (!ReadInput(path, text, streams))
        return BadInput;
    const auto image = ImageFromJson(path, text, streams);
    if (!image)
        return BadInput;
    if (output == QLatin1String("-"))
        return WriteOutput(
                   output,
                   QByteArray(reinterpret_cast<const char *>(image->data()), ConfigImage::Size),
                   streams)
                   ? Success
                   : BadInput;
    return Reported(output, SaveProjectFile(output, *image), streams) ? Success : BadInput;
}

int Diff(const Arguments &args, const Streams &streams)
{
    if (!ExpectCount(QStringLiteral("diff"), args, 2, streams))
        return BadInput;
    const auto a = LoadProjectOrCard(args.files[0], streams);
    const auto b = a ? LoadProjectOrCard(args.files[1], streams) : std::nullopt;
    if (!a || !b)
        return BadInput;
    const QStringList lines = DiffProjects(*a, *b);
    for (const QString &line : lines)
        Print(streams.out, line + QLatin1Char('\n'));
    return lines.isEmpty() ? Success : Differs;
}

int Plan(const Arguments &args, const Streams &streams)
{
    const QString output = args.value(Option::Output);
    if (output.isEmpty()) {
        Error(streams, QStringLiteral("plan"), QStringLiteral("-o BILD fehlt"));
        return BadInput;
    }
    const PictureFormat format = PictureFormatOf(output);
    if (format == PictureFormat::Unknown) {
        Error(streams, output,
              QStringLiteral("unbekanntes Bildformat (erwartet .svg, .png oder .pdf)"));
        return BadInput;
    }
    const auto image = TheProject(QStringLiteral("plan"), args, streams);
    if (!image)
        return BadInput;
    QString why;
    const QByteArray picture = WeekPlanPicture(MakeWeekPlan(*image), format, &why);
    if (picture.isEmpty()) {
        Error(streams, output, why);
        return BadInput;
    }
    return WriteOutput(output, picture, streams) ? Success : BadInput;
}

std::optional<ConfigImage> LoadProject(const QString &path, const Streams &streams)
{
    QString why;
    const std::optional<ConfigImage> image = ReadProject(path, &why);
    if (!image)
        Error(streams, path, why);
    return image;
}

} // namespace Cli
