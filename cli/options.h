#pragma once

#include "cli/arguments.h"

// The options of the commands, each declared once: the command table lists them, and the
// commands read them through Arguments by these names.
namespace Cli::Option {

extern const OptionRule Output;      // -o, --output FILE
extern const OptionRule Port;        // -p, --port P (also --port=P)
extern const OptionRule Last;        // --last N
extern const OptionRule Json;        // --json
extern const OptionRule Plan;        // --plan
extern const OptionRule OnlyChanged; // --only-changed
extern const OptionRule Report;      // --report FILE
extern const OptionRule Prometheus;  // --prometheus FILE
extern const OptionRule Watch;       // --watch SECONDS

} // namespace Cli::Option
