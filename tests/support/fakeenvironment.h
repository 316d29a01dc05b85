#pragma once

#include "link/portresolver.h"

#include <QHash>
#include <QTemporaryDir>

// A system with the serial ports, device groups and lock holders a test makes up. Its link
// folder is a fresh folder of its own.
class FakePortEnvironment : public PortEnvironment
{
public:
    std::vector<PortInfo> Ports() const override { return ports; }
    QString DeviceGroup(const QString &path) const override { return groups.value(path); }
    std::optional<PortHolder> LockHolder(const QString &path) const override
    {
        if (!holders.contains(path))
            return std::nullopt;
        return holders.value(path);
    }
    QString UserName() const override { return user; }
    QString LinkFolder() const override { return folder.path(); }

    std::vector<PortInfo> ports;
    QHash<QString, QString> groups;
    QHash<QString, PortHolder> holders;
    QString user = QStringLiteral("anna");
    QTemporaryDir folder;
};
