#pragma once

#include <cstdio>

// Where a command writes, what it may draw there, and how it ends.
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
    // Standard input is a terminal: a question may be asked there (trust).
    bool answerable = false;
};

} // namespace Cli
