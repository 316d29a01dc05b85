#pragma once

#include "config/configimage.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reading a project from whatever a user names: a file, "-" or /dev/stdin, a pipe or a
// process substitution; a .rel image or its JSON form. Nothing is printed: a refusal comes back
// with its reason in German, for the caller to put where its user looks.

// Large enough for any JSON form, small enough that a wrong file is not read whole.
constexpr qint64 MaxInputBytes = 16 * 1024 * 1024;

// The bytes of an input, read to its end. A folder says so; anything larger than any project
// or its JSON is refused with its size rather than cut.
bool ReadInputBytes(const QString &path, QByteArray &bytes, QString *why);

// The image of a project's JSON text (strict, see ProjectFromJson).
std::optional<ConfigImage> ImageFromJsonText(const QByteArray &text, QString *why);

// A project file, .rel or JSON: JSON by the extension .json, or for a file of another name
// whose text starts with "{" and that is not exactly a project's 1024 bytes. Read as the file
// holds it (byte 903 too, which only the window's load clears). Only exactly 1024 bytes are an
// image: anything else sent to a card would be a wrong result reported as right.
std::optional<ConfigImage> ReadProject(const QString &path, QString *why);
