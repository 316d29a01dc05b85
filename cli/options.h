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
extern const OptionRule Cert;        // --cert FILE: the client certificate for TLS servers
extern const OptionRule Key;         // --key FILE: its key
extern const OptionRule Ca;          // --ca FILE: a CA trusted beside the system's
extern const OptionRule Name;        // --name NAME
extern const OptionRule Force;       // --force
extern const OptionRule Yes;         // --yes

} // namespace Cli::Option
