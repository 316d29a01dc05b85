#include "fleet/manifest.h"

#include "fleet/uploadjournal.h"
#include "forms/projectjson.h"
#include "forms/projectreader.h"
#include "link/linkfailure.h"
#include "link/portresolver.h"
#include "link/targetkey.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <map>

namespace {

QString Field(int i, const char *name)
{
    // Counted from 1, as the cards of a building are.
    return QStringLiteral("karten[%1].%2").arg(i + 1).arg(QLatin1String(name));
}

} // namespace

Manifest ReadManifest(const QByteArray &text, const QString &baseDir,
                      const PortEnvironment &environment, QStringList *problems)
{
    Manifest manifest;
    problems->clear();
    const auto problem = [problems](const QString &path, const QString &why) {
        *problems << path + QStringLiteral(": ") + why;
    };
    JsonError error;
    const std::optional<QJsonObject> read = StrictJsonObject(text, error);
    if (!read) {
        *problems << error.text();
        return manifest;
    }
    const QJsonObject &top = *read;
    for (auto it = top.begin(); it != top.end(); ++it)
        if (it.key() != QLatin1String("format") && it.key() != QLatin1String("version") &&
            it.key() != QLatin1String("karten"))
            problem(it.key(), QStringLiteral("unbekanntes Feld"));
    if (top.value(QStringLiteral("format")).toString() != QLatin1String("zelkora-anlage"))
        problem(QStringLiteral("format"), QStringLiteral("erwartet \"zelkora-anlage\""));
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() != Manifest::Version)
        problem(QStringLiteral("version"),
                version.isDouble() && version.toDouble() > Manifest::Version
                    ? QStringLiteral("%1 ist neuer als dieses Programm (%2)")
                          .arg(version.toDouble())
                          .arg(Manifest::Version)
                    : QStringLiteral("erwartet %1").arg(Manifest::Version));
    const QJsonValue cards = top.value(QStringLiteral("karten"));
    if (!cards.isArray() || cards.toArray().isEmpty()) {
        problem(QStringLiteral("karten"),
                QStringLiteral("erwartet eine Liste mit mindestens einer Karte"));
        return manifest;
    }
    std::map<QString, int> keys, names;
    const QJsonArray list = cards.toArray();
    for (int i = 0; i < list.size(); ++i) {
        if (!list[i].isObject()) {
            problem(QStringLiteral("karten[%1]").arg(i + 1), QStringLiteral("erwartet ein Objekt"));
            continue;
        }
        const QJsonObject card = list[i].toObject();
        bool ok = true;
        for (auto it = card.begin(); it != card.end(); ++it)
            if (it.key() != QLatin1String("name") && it.key() != QLatin1String("port") &&
                it.key() != QLatin1String("projekt")) {
                problem(QStringLiteral("karten[%1].%2").arg(i + 1).arg(it.key()),
                        QStringLiteral("unbekanntes Feld"));
                ok = false;
            }
        QString values[3];
        const char *fields[] = {"name", "port", "projekt"};
        for (int f = 0; f < 3; ++f) {
            const QJsonValue value = card.value(QLatin1String(fields[f]));
            if (value.isUndefined()) {
                problem(Field(i, fields[f]), QStringLiteral("Feld fehlt"));
                ok = false;
            } else if (!value.isString() || value.toString().trimmed().isEmpty()) {
                problem(Field(i, fields[f]), QStringLiteral("erwartet einen Text"));
                ok = false;
            } else {
                values[f] = value.toString();
            }
        }
        if (!ok)
            continue;
        DeployCard deploy;
        deploy.name = values[0];
        if (const auto seen = names.find(deploy.name); seen != names.end()) {
            problem(Field(i, "name"), QStringLiteral("„%1“ steht schon bei karten[%2]")
                                          .arg(deploy.name)
                                          .arg(seen->second + 1));
            ok = false;
        }
        deploy.target = PortTarget::Parse(values[1]);
        const QString badEntry = BadListEntry(deploy.target, environment);
        if (!deploy.target.valid() || !badEntry.isEmpty()) {
            problem(Field(i, "port"),
                    deploy.target.valid() ? badEntry : AddressError(deploy.target));
            ok = false;
        } else {
            const QString key = TargetKey(deploy.target, environment);
            if (const auto seen = keys.find(key); seen != keys.end()) {
                problem(Field(i, "port"),
                        QStringLiteral("dieselbe Karte wie karten[%1]").arg(seen->second + 1));
                ok = false;
            }
            keys.emplace(key, i);
        }
        names.emplace(deploy.name, i);
        deploy.project = QDir::cleanPath(QDir(baseDir).absoluteFilePath(values[2]));
        QString why;
        const std::optional<ConfigImage> image = ReadProject(deploy.project, &why);
        if (!image) {
            problem(Field(i, "projekt"), why);
            ok = false;
        }
        if (!ok)
            continue;
        deploy.image = *image;
        deploy.hash = UploadJournal::HashOf(deploy.image);
        manifest.cards.push_back(deploy);
    }
    if (!problems->isEmpty())
        manifest.cards.clear();
    return manifest;
}
