#pragma once

#include "forms/projectmodel.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// A project as JSON text, for version control and for editing by hand. Every field of
// ProjectModel has a name a reader of the window recognises ("timer1", "an", "tage"), taken
// from the table of fields (fieldtable.h) that the listing walks as well; list
// choices are the window's entries ("Mo-Fr", "Sensor 3 LF"), and a byte that names no entry
// is written as its number. `format` and `version` say what the file is, so that files
// written now are still read when the format grows. docs/projekt-json.md describes it.
constexpr int ProjectJsonVersion = 1;
inline constexpr const char *ProjectJsonFormat = "zelkora-projekt";

QByteArray ProjectToJson(const ProjectModel &model);

// Where a JSON text was refused: the field's path ("relais[3].timer1.an", counted from 1, empty for
// the whole text) and why, in German.
struct JsonError
{
    QString path;
    QString reason;
    QString text() const; // "relais[3].timer1.an: …"
};

// The one strict reading of a JSON text, for projects and the files that name them: not JSON
// (with its line and column), a key twice, or no object at the top is refused in `error`.
std::optional<QJsonObject> StrictJsonObject(const QByteArray &text, JsonError &error);

// Reads the text strictly: an unknown field, a missing field, a value of the wrong kind or
// out of range is refused, with the first such place in `error`.
std::optional<ProjectModel> ProjectFromJson(const QByteArray &text, JsonError &error);
