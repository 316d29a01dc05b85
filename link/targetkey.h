#pragma once

#include "link/porttarget.h"

#include <QString>

class PortEnvironment;

// What the target really reaches, for finding one card named twice: "COM 3" and the device its
// link points to, a by-id path and /dev/ttyUSB0, socket:// and rfc2217:// of one server port
// all give the same key. Devices are keyed by their stable name (/dev/serial/by-id) where they
// have one, so an adapter that comes back as another ttyUSB is the same card. Host names are
// looked up (this may wait for the resolver): localhost, 127.0.0.1 and ::ffff:127.0.0.1 are
// one host. Where nothing can be resolved the text itself is the key.
QString TargetKey(const PortTarget &target, const PortEnvironment &environment);
