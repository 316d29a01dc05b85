#pragma once

#include "clicommands.h"

#include "configimage.h"

#include <QString>

#include <optional>

// What the commands share: printing in UTF-8 and the one-line error form.
namespace Cli {

void Print(std::FILE *stream, const QString &text);
// "zelkora-cli: WHAT: why" on standard error, one line.
void Error(const Streams &streams, const QString &what, const QString &why);

// A project file, .rel or JSON: JSON by the extension .json, or for a file of another name
// whose text starts with "{" and that is not exactly a project's 1024 bytes. Read as the file
// holds it (byte 903 too, which only the window's load clears). An error line and nothing when
// it cannot be read.
std::optional<ConfigImage> LoadProject(const QString &path, const Streams &streams);

// The card commands: upload, version, measure, ports. options are the command's arguments.
int RunCardCommand(const QString &command, const QStringList &options, const Streams &streams);

} // namespace Cli
