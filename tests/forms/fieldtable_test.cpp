// The table of fields is what the JSON writer, the JSON reader and the listing walk: every
// field, changed alone, must show under its own key in JSON and in the listing, and come back
// from JSON as it was changed.
#include "forms/fieldtable.h"
#include "forms/projectjson.h"
#include "forms/projecttext.h"
#include "tests/support/edgeimages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <set>

namespace {

// Another value the field can hold, as a user would set it.
void Change(const Field &field, ProjectModel &model, int index)
{
    const FieldSlot slot = field.slot(model, index);
    if (slot.flag)
        *slot.flag = !*slot.flag;
    else if (slot.time)
        slot.time->hour = std::uint8_t((slot.time->hour + 1) % 24);
    else if (slot.text)
        *slot.text = QStringLiteral("Geändert");
    else if (field.kind == FieldKind::ProgramChoice)
        *slot.byte = *slot.byte == 2 ? 4 : 2;
    else if (field.kind == FieldKind::Set)
        *slot.byte = std::uint8_t(*slot.byte ^ (1u << (field.firstNumber - 1)));
    else
        *slot.byte = std::uint8_t(*slot.byte == 3 ? 4 : 3); // within every field's range
}

QJsonValue Member(const QJsonObject &root, const Field &field, int index)
{
    const ScopeNames &names = NamesOf(field.scope);
    QJsonObject record;
    if (field.scope == FieldScope::Relay)
        record = root[names.jsonKey].toArray()[index].toObject();
    else if (field.scope == FieldScope::Program)
        record = root["lauflicht"][names.jsonKey].toArray()[index].toObject();
    else
        record = root[names.jsonKey].toObject();
    if (*field.group)
        record = record[field.group].toObject();
    return record[field.key];
}

TEST(FieldTable, EveryFieldHasOnePlaceInJsonAndTheListing)
{
    std::set<QString> seen;
    QString lastGroup;
    std::set<QString> closedGroups;
    for (const Field &field : ProjectFields()) {
        const QString place = QStringLiteral("%1/%2/%3")
                                  .arg(int(field.scope))
                                  .arg(QLatin1String(field.group), QLatin1String(field.key));
        EXPECT_TRUE(seen.insert(place).second) << "twice: " << place.toStdString();
        EXPECT_NE(QLatin1String(field.label), QLatin1String()) << place.toStdString();
        // The writers close a group where its key changes: a group's fields stand together
        // (fields alone may stand anywhere).
        const QString group = QString::number(int(field.scope)) + QLatin1String(field.group);
        if (group != lastGroup) {
            EXPECT_TRUE(!*field.group || !closedGroups.count(group))
                << "group split: " << place.toStdString();
            closedGroups.insert(lastGroup);
            lastGroup = group;
        }
    }

    const ConfigImage starter = StarterProject();
    const ProjectModel base = DecodeProject(starter);
    const QJsonObject before = QJsonDocument::fromJson(ProjectToJson(base)).object();
    const std::vector<ProjectEntry> listedBefore = ProjectEntries(starter);
    for (const Field &field : ProjectFields()) {
        const int index = field.scope == FieldScope::Relay     ? 5
                          : field.scope == FieldScope::Program ? 2
                                                               : 0;
        SCOPED_TRACE(std::string(field.group) + "." + field.key);
        ProjectModel changed = base;
        Change(field, changed, index);
        const QByteArray json = ProjectToJson(changed);
        const QJsonObject after = QJsonDocument::fromJson(json).object();
        EXPECT_NE(Member(after, field, index), Member(before, field, index));

        JsonError error;
        const std::optional<ProjectModel> back = ProjectFromJson(json, error);
        ASSERT_TRUE(back) << error.text().toStdString();
        EXPECT_EQ(EncodeProject(*back), EncodeProject(changed));

        // In the listing: the entry under the field's label is the one whose value changed.
        const std::vector<ProjectEntry> listed = ProjectEntries(EncodeProject(changed));
        ASSERT_EQ(listed.size(), listedBefore.size());
        int changedEntries = 0;
        for (std::size_t i = 0; i < listed.size(); ++i) {
            if (listed[i].value == listedBefore[i].value || listed[i].derived)
                continue;
            ++changedEntries;
            EXPECT_EQ(listed[i].field, QString::fromUtf8(field.label));
            EXPECT_TRUE(listed[i].key.endsWith(QLatin1Char('.') + QLatin1String(field.key)))
                << listed[i].key.toStdString();
        }
        EXPECT_EQ(changedEntries, 1);
    }
}

} // namespace
