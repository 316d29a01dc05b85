#pragma once

#include "cli/streams.h"

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// The one argument parser of zelkora-cli: each command declares its options in the command
// table, and this reads them, saying in one line what it refuses.
namespace Cli {

struct OptionRule
{
    QStringList names; // "--port", "-p"
    bool takesValue = false;
    // Said after the option's name when its value is missing (" ohne Port"); empty: the option
    // without a value is an unknown argument.
    QString withoutValue = {};
    bool inlineValue = false; // "--port=VALUE" as well
    // The value's own check, made where it stands: an error text, or empty.
    QString (*check)(const QString &value) = nullptr;
};

// How a command treats what it does not know.
enum class ArgumentStyle
{
    // "--" ends the options; an unknown option ("-x") is refused; everything else is a file.
    Files,
    // Only the declared options and at most `maxFiles` names; anything else, "-" too, is an
    // unknown argument.
    Strict,
    // No arguments at all.
    None,
};

// What a command was given. Options are asked for by their rule (options.h), never by a
// string, so a misspelt option does not compile.
struct Arguments
{
    QString command;
    QStringList files;
    std::map<QString, QStringList> values; // by the option's first name, in the given order
    bool has(const OptionRule &option) const { return values.count(option.names.first()) > 0; }
    // The last value given for the option, or a null string.
    QString value(const OptionRule &option) const;
    // Every value given for the option, in the given order.
    QStringList all(const OptionRule &option) const;
};

// A row of the command table: the command's name, its line in the overview, its help, its
// options and what it runs.
struct CommandRule
{
    const char *name;
    const char *synopsis; // "show DATEI", in the overview
    const char *summary;  // what it does, in a few words, in the overview
    const char *help;
    ArgumentStyle style;
    std::vector<OptionRule> options;
    int maxFiles = -1;          // Strict: how many names it takes at the most
    bool drawsPictures = false; // needs a QGuiApplication
    int (*run)(const Arguments &arguments, const Streams &streams) = nullptr;
};

// Nothing when the arguments are refused; the error line is then written.
std::optional<Arguments> ParseArguments(const CommandRule &command, const QStringList &arguments,
                                        const Streams &streams);

} // namespace Cli
