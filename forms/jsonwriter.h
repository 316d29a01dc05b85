#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <variant>
#include <vector>

// A JSON value that keeps its members in the order they were added, so a file reads in the
// order of the window (QJsonObject sorts them by name).
struct JsonNode
{
    std::variant<bool, qint64, QString, std::vector<JsonNode>,
                 std::vector<std::pair<QString, JsonNode>>>
        value;

    JsonNode(bool b) : value(b) {}
    JsonNode(int n) : value(qint64(n)) {}
    JsonNode(const QString &s) : value(s) {}
    JsonNode(const char *s) : value(QString::fromUtf8(s)) {}
    static JsonNode array(std::vector<JsonNode> items = {})
    {
        JsonNode n(false);
        n.value = std::move(items);
        return n;
    }
    static JsonNode object()
    {
        JsonNode n(false);
        n.value = std::vector<std::pair<QString, JsonNode>>{};
        return n;
    }
    JsonNode &add(const QString &key, JsonNode child)
    {
        std::get<std::vector<std::pair<QString, JsonNode>>>(value).emplace_back(key,
                                                                                std::move(child));
        return *this;
    }
};

// The text: two blanks of indent per level, short lists of plain values on one line
// (["K1", "K3"]), a line break at the end; control characters escaped.
QByteArray JsonText(const JsonNode &root);
