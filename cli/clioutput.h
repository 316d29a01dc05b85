#pragma once

#include "clicommands.h"

#include "configimage.h"

#include <QString>

#include <optional>

// What the commands share: printing in UTF-8 and the one-line error form.
namespace Cli {

void Print(std::FILE *stream, const QString &text);
// A text as it may stand in one line: control characters as \x01, cut to `limit` characters.
QString Visible(const QString &text, qsizetype limit);
// "zelkora-cli: WHAT: why" on standard error, one line.
void Error(const Streams &streams, const QString &what, const QString &why);

// A project file, .rel or JSON: JSON by the extension .json, or for a file of another name
// whose text starts with "{" and that is not exactly a project's 1024 bytes. Read as the file
// holds it (byte 903 too, which only the window's load clears). An error line and nothing when
// it cannot be read.
std::optional<ConfigImage> LoadProject(const QString &path, const Streams &streams);
// The same without printing: nothing and why when it is refused; note says what to know of a
// file that loads (longer than a project).
std::optional<ConfigImage> ReadProject(const QString &path, QString *why, QString *note = nullptr);
// A project, or "karte:PORT": the last complete upload to that card from the journal.
std::optional<ConfigImage> LoadProjectOrCard(const QString &path, const Streams &streams);

// The card commands: upload, version, measure, ports, journal, deploy. options are the
// command's arguments.
int RunCardCommand(const QString &command, const QStringList &options, const Streams &streams);

} // namespace Cli
