#pragma once

#include "cli/streams.h"

// The commands, each as the command table runs it.
namespace Cli {

struct Arguments;

int Show(const Arguments &args, const Streams &streams);
int Export(const Arguments &args, const Streams &streams);
int Import(const Arguments &args, const Streams &streams);
int Diff(const Arguments &args, const Streams &streams);
int Plan(const Arguments &args, const Streams &streams);
int Upload(const Arguments &args, const Streams &streams);
int Version(const Arguments &args, const Streams &streams);
int Measure(const Arguments &args, const Streams &streams);
int Ports(const Arguments &args, const Streams &streams);
int Journal(const Arguments &args, const Streams &streams);
int Deploy(const Arguments &args, const Streams &streams);
int Status(const Arguments &args, const Streams &streams);
int Keygen(const Arguments &args, const Streams &streams);
int Trust(const Arguments &args, const Streams &streams);

} // namespace Cli
