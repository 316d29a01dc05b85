#include "cli/options.h"

namespace Cli::Option {

const OptionRule Output{.names = {"--output", "-o"},
                        .takesValue = true,
                        .withoutValue = QStringLiteral(" ohne Dateinamen")};
const OptionRule Port{.names = {"--port", "-p"},
                      .takesValue = true,
                      .withoutValue = QStringLiteral(" ohne Port"),
                      .inlineValue = true};
const OptionRule Last{
    {"--last"}, true, {}, false, [](const QString &value) {
        bool ok = false;
        return value.toInt(&ok) >= 1 && ok
                   ? QString()
                   : QStringLiteral("--last erwartet eine Zahl ab 1, nicht %1").arg(value);
    }};
const OptionRule Json{.names = {"--json"}};
const OptionRule Plan{.names = {"--plan"}};
const OptionRule OnlyChanged{.names = {"--only-changed"}};
const OptionRule Report{.names = {"--report"}, .takesValue = true};
const OptionRule Prometheus{.names = {"--prometheus"},
                            .takesValue = true,
                            .withoutValue = QStringLiteral(" ohne Dateinamen")};
const OptionRule Watch{.names = {"--watch"}, .takesValue = true, .check = [](const QString &value) {
                           bool ok = false;
                           const int seconds = value.toInt(&ok);
                           return ok && seconds >= 1 && seconds <= 86400
                                      ? QString()
                                      : QStringLiteral(
                                            "--watch erwartet Sekunden von 1 bis 86400, nicht %1")
                                            .arg(value);
                       }};

const OptionRule Cert{
    .names = {"--cert"}, .takesValue = true, .withoutValue = QStringLiteral(" ohne Datei")};
const OptionRule Key{
    .names = {"--key"}, .takesValue = true, .withoutValue = QStringLiteral(" ohne Datei")};
const OptionRule Ca{
    .names = {"--ca"}, .takesValue = true, .withoutValue = QStringLiteral(" ohne Datei")};
const OptionRule Name{
    .names = {"--name"}, .takesValue = true, .withoutValue = QStringLiteral(" ohne Namen")};
const OptionRule Force{.names = {"--force"}};
const OptionRule Yes{.names = {"--yes"}};

} // namespace Cli::Option
