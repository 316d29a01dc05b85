#include "cli/arguments.h"

#include "cli/clioutput.h"

namespace Cli {

QString Arguments::value(const OptionRule &option) const
{
    const QStringList given = all(option);
    return given.isEmpty() ? QString() : given.last();
}

QStringList Arguments::all(const OptionRule &option) const
{
    const auto it = values.find(option.names.first());
    return it == values.end() ? QStringList() : it->second;
}

std::optional<Arguments> ParseArguments(const CommandRule &command, const QStringList &arguments,
                                        const Streams &streams)
{
    const QString name = QString::fromUtf8(command.name);
    const auto refuse = [&](const QString &why) -> std::optional<Arguments> {
        Error(streams, name, why);
        return std::nullopt;
    };
    const auto unknown = [&](const QString &argument) {
        return command.style == ArgumentStyle::Strict
                   ? refuse(QStringLiteral("unbekanntes Argument %1 (zelkora-cli %2 --help)")
                                .arg(argument, name))
                   : refuse(QStringLiteral("unbekannte Option %1").arg(argument));
    };
    if (command.style == ArgumentStyle::None) {
        if (!arguments.isEmpty())
            return refuse(QStringLiteral("erwartet keine Argumente"));
        return Arguments{name, {}, {}};
    }

    Arguments parsed{name, {}, {}};
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        // After "--" every argument is a file, also one named "-x.rel".
        if (optionsEnded) {
            parsed.files << argument;
            continue;
        }
        if (argument == QLatin1String("--") && command.style == ArgumentStyle::Files) {
            optionsEnded = true;
            continue;
        }
        const OptionRule *option = nullptr;
        QString value;
        bool valued = false;
        for (const OptionRule &known : command.options) {
            if (known.names.contains(argument)) {
                option = &known;
            } else if (known.inlineValue &&
                       argument.startsWith(known.names.first() + QLatin1Char('='))) {
                option = &known;
                value = argument.mid(known.names.first().size() + 1);
                valued = true;
            }
            if (option)
                break;
        }
        if (option) {
            if (option->takesValue && !valued) {
                if (i + 1 >= arguments.size())
                    return option->withoutValue.isEmpty() ? unknown(argument)
                                                          : refuse(argument + option->withoutValue);
                value = arguments[++i];
            }
            if (option->check) {
                if (const QString why = option->check(value); !why.isEmpty())
                    return refuse(why);
            }
            parsed.values[option->names.first()] << value;
            continue;
        }
        const bool looksLikeOption =
            argument.startsWith(QLatin1Char('-')) &&
            (argument.size() > 1 || command.style == ArgumentStyle::Strict);
        if (looksLikeOption ||
            (command.style == ArgumentStyle::Strict && parsed.files.size() >= command.maxFiles))
            return unknown(argument);
        parsed.files << argument;
    }
    return parsed;
}

} // namespace Cli
