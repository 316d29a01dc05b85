#pragma once

#include <QByteArray>
#include <QJsonParseError>
#include <QString>

#include <optional>

// What Qt's JSON reader cannot say for the program's strict readers (projects, manifests).

// The path of the first key that stands twice in one object ("relais[1].timer1.an", counted from 1 as the window counts): Qt keeps
// the last of them without a word, so a merge leftover would silently win. Nothing when every
// key is unique or the text is no JSON at all (the reader then says why).
std::optional<QString> FirstDuplicateKey(const QByteArray &text);

// Qt's reason for text that is no JSON, in German.
QString JsonParseReason(QJsonParseError::ParseError error);

// Where in the text the reader stopped: "Zeile 3, Spalte 14".
QString JsonPlace(const QByteArray &text, int offset);
