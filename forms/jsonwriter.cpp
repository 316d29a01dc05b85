#include "forms/jsonwriter.h"

#include <algorithm>

namespace {

QString Quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

bool IsScalar(const JsonNode &node)
{
    return !std::holds_alternative<std::vector<JsonNode>>(node.value) &&
           !std::holds_alternative<std::vector<std::pair<QString, JsonNode>>>(node.value);
}

void Write(const JsonNode &node, int indent, QString &out)
{
    const QString pad(indent + 2, QLatin1Char(' '));
    if (const bool *b = std::get_if<bool>(&node.value)) {
        out += *b ? QStringLiteral("true") : QStringLiteral("false");
    } else if (const qint64 *n = std::get_if<qint64>(&node.value)) {
        out += QString::number(*n);
    } else if (const QString *s = std::get_if<QString>(&node.value)) {
        out += Quoted(*s);
    } else if (const auto *items = std::get_if<std::vector<JsonNode>>(&node.value)) {
        // Short lists of plain values stay on one line: ["K1", "K3"].
        const bool inline_ = std::all_of(items->begin(), items->end(), IsScalar);
        out += QLatin1Char('[');
        for (std::size_t i = 0; i < items->size(); ++i) {
            out += i ? (inline_ ? QStringLiteral(", ") : QStringLiteral(",")) : QString();
            if (!inline_)
                out += QLatin1Char('\n') + pad;
            Write((*items)[i], indent + 2, out);
        }
        if (!inline_ && !items->empty())
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
        out += QLatin1Char(']');
    } else {
        const auto &members = std::get<std::vector<std::pair<QString, JsonNode>>>(node.value);
        out += QLatin1Char('{');
        for (std::size_t i = 0; i < members.size(); ++i) {
            out += (i ? QStringLiteral(",\n") : QStringLiteral("\n")) + pad +
                   Quoted(members[i].first) + QStringLiteral(": ");
            Write(members[i].second, indent + 2, out);
        }
        if (!members.empty())
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
        out += QLatin1Char('}');
    }
}

} // namespace

QByteArray JsonText(const JsonNode &root)
{
    QString out;
    Write(root, 0, out);
    return (out + QLatin1Char('\n')).toUtf8();
}
