#include "config/jsontext.h"

#include <QSet>
#include <QStringList>

#include <vector>

namespace {

// One open object or array while scanning: its keys so far, or the index of its next item.
struct Level
{
    bool object = false;
    QSet<QString> keys;
    int index = 0;
    QString name; // how the parent names this level
};

// A JSON string from just after its opening quote; the position past its closing quote.
bool ReadString(const QByteArray &text, qsizetype &i, QString &out)
{
    QByteArray raw;
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '"') {
            out = QString::fromUtf8(raw);
            return true;
        }
        if (c == '\\' && i < text.size()) {
            const char e = text[i++];
            switch (e) {
            case 'n':
                raw += '\n';
                break;
            case 't':
                raw += '\t';
                break;
            case 'r':
                raw += '\r';
                break;
            case 'b':
                raw += '\b';
                break;
            case 'f':
                raw += '\f';
                break;
            case 'u':
                if (i + 4 <= text.size()) {
                    raw += QString(QChar(char16_t(text.mid(i, 4).toUShort(nullptr, 16)))).toUtf8();
                    i += 4;
                }
                break;
            default:
                raw += e;
                break;
            }
            continue;
        }
        raw += c;
    }
    return false;
}

QString PathOf(const std::vector<Level> &levels, const QString &last)
{
    QString path;
    for (std::size_t k = 1; k < levels.size(); ++k)
        path += levels[k].name;
    path += last;
    return path.startsWith(QLatin1Char('.')) ? path.mid(1) : path;
}

} // namespace

std::optional<QString> FirstDuplicateKey(const QByteArray &text)
{
    std::vector<Level> levels(1);
    bool expectKey = false;
    QString pendingKey; // a key whose value comes next
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i++];
        switch (c) {
        case '{':
        case '[': {
            Level level;
            level.object = c == '{';
            Level &parent = levels.back();
            level.name = parent.object ? QLatin1Char('.') + pendingKey
                                       : QStringLiteral("[%1]").arg(parent.index + 1);
            levels.push_back(level);
            expectKey = level.object;
            break;
        }
        case '}':
        case ']':
            if (levels.size() > 1)
                levels.pop_back();
            expectKey = false;
            break;
        case ',':
            if (levels.back().object)
                expectKey = true;
            else
                ++levels.back().index;
            break;
        case '"': {
            QString s;
            if (!ReadString(text, i, s))
                return std::nullopt;
            if (expectKey && levels.back().object) {
                if (levels.back().keys.contains(s))
                    return PathOf(levels, QLatin1Char('.') + s);
                levels.back().keys.insert(s);
                pendingKey = s;
                expectKey = false;
            }
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

QString JsonParseReason(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::NoError:
        return {};
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("Objekt nicht abgeschlossen");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("Doppelpunkt fehlt");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("Liste nicht abgeschlossen");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("Komma fehlt");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("ungültiger Wert");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("Text endet mitten in einer Zahl");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("ungültige Zahl");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("ungültige Escape-Folge");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("kein gültiges UTF-8");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("Text in Anführungszeichen nicht abgeschlossen");
    case QJsonParseError::MissingObject:
        return QStringLiteral("Objekt erwartet");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("zu tief verschachtelt");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("zu groß");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("weiterer Text nach dem Ende");
    }
    return QStringLiteral("kein gültiges JSON");
}

QString JsonPlace(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset);
    const int line = int(before.count('\n')) + 1;
    const int column = int(offset - (before.lastIndexOf('\n') + 1)) + 1;
    return QStringLiteral("Zeile %1, Spalte %2").arg(line).arg(column);
}
