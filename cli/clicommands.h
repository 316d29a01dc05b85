#pragma once

#include "cli/streams.h"

#include <QStringList>

// The command-line tool's front: reads the arguments, runs one command and says what came of
// it. The work itself is done in forms/ (the readable forms), plan/ (the week plan), link/
// (the card errands) and fleet/ (the journal, manifests, deployment and status).
namespace Cli {

// Whether the command draws pictures: then the caller must run a QGuiApplication.
bool NeedsGui(const QStringList &arguments);

// arguments without the program name. Runs the command to its end, also the ones that wait on
// cards (they run the event loop of the caller's application).
int Run(const QStringList &arguments, const Streams &streams);

} // namespace Cli
