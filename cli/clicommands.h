#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The command-line tool's front: reads the arguments, runs one command and says what came of
// it. The work itself is done in forms/ (the readable forms), plan/ (the week plan), link/
// (the card errands) and fleet/ (the journal, manifests, deployment and status).
namespace Cli {

// Exit statuses.
constexpr int Success = 0;
constexpr int Differs = 1;    // diff: the projects differ
constexpr int CardFailed = 1; // upload, version, measure, deploy, status: a card failed
constexpr int BadInput = 2;   // bad usage, a file that cannot be read or written, bad JSON

struct Streams
{
    std::FILE *out = stdout;
    std::FILE *err = stderr;
    // Progress bars on `out` instead of one line per port at the end.
    bool terminal = false;
    // The terminal's size, for bars that neither wrap nor scroll away.
    int rows = 24;
    int columns = 80;
    // The terminal shows colours: states in green, yellow and red.
    bool colours = false;
};

// Whether the command draws pictures: then the caller must run a QGuiApplication.
bool NeedsGui(const QStringList &arguments);

// arguments without the program name. Runs the command to its end, also the ones that wait on
// cards (they run the event loop of the caller's application).
int Run(const QStringList &arguments, const Streams &streams);

} // namespace Cli
