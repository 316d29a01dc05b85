#include "link/linksettings.h"

#include "link/portresolver.h"

LinkSettings LinkSettings::resolved() const
{
    LinkSettings r = *this;
    const QString folder =
        (environment ? *environment : SystemPortEnvironment::Instance()).LinkFolder();
    const auto fill = [&](QString &path, const char *name) {
        if (path.isEmpty())
            path = folder + QLatin1Char('/') + QLatin1String(name);
    };
    fill(r.certificateFile, "client.crt");
    fill(r.keyFile, "client.key");
    fill(r.caFile, "ca.crt");
    fill(r.knownServersFile, "known_servers");
    return r;
}
