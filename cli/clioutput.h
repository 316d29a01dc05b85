#pragma once

#include "cli/streams.h"

#include "config/configimage.h"
#include "fleet/manifest.h"
#include "fleet/uploadjournal.h"
#include "link/linksettings.h"

#include <QString>

#include <optional>
#include <vector>

// What the commands share: printing in UTF-8 and the one-line error form.
namespace Cli {

struct Arguments;

// Nothing where the stream is null.
void Print(std::FILE *stream, const QString &text);
// A text as it may stand in one line: control characters as \x01, cut to `limit` characters.
QString Visible(const QString &text, qsizetype limit);
// "zelkora-cli: WHAT: why" on standard error, one line.
void Error(const Streams &streams, const QString &what, const QString &why);

// A project file, .rel or JSON (see ReadProject); an error line and nothing when it cannot be
// read.
std::optional<ConfigImage> LoadProject(const QString &path, const Streams &streams);
// A project, or "karte:PORT": the last complete upload to that card from the journal.
std::optional<ConfigImage> LoadProjectOrCard(const QString &path, const Streams &streams);

// The journal's records, and a line on standard error where it was too large to read whole.
std::vector<UploadRecord> ReadJournal(const UploadJournal &journal, const Streams &streams);
// A journal that is there but no regular file (a FIFO would hold every reader and writer) is
// refused like any other input that is no file: an error line, and false.
bool JournalIsAFile(const UploadJournal &journal, const Streams &streams);
// The cards named by --port: an error line and nothing for an address that is none or a card
// named twice (also under two names).
std::optional<std::vector<PortTarget>> ReadPorts(const QStringList &ports, const Streams &streams);
// What the card commands present to TLS servers and trust (--cert, --key, --ca, else the
// configuration folder's files); an error line and nothing for a file that is not there or a
// key others may read, where a target uses TLS.
std::optional<LinkSettings> ReadLinkSettings(const Arguments &args,
                                             const std::vector<PortTarget> &targets,
                                             const Streams &streams);
// A building's manifest with its projects; every problem as an error line, and nothing.
std::optional<Manifest> LoadManifest(const QString &path, const Streams &streams);

} // namespace Cli
