#include "cli/clioutput.h"

#include "forms/projecttext.h"

namespace Cli {

void Print(std::FILE *stream, const QString &text)
{
    if (!stream)
        return; // held back: the command writes a document instead
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString Visible(const QString &text, qsizetype limit)
{
    const QString out = VisibleText(text);
    return out.size() > limit ? out.left(limit - 1) + QStringLiteral("…") : out;
}

void Error(const Streams &streams, const QString &what, const QString &why)
{
    // One line whatever a name or value holds: control characters are written visibly and a
    // long one is cut.
    Print(streams.err, QStringLiteral("zelkora-cli: ") + Visible(what, 160) + QStringLiteral(": ") +
                           Visible(why, 400) + QLatin1Char('\n'));
}

} // namespace Cli
