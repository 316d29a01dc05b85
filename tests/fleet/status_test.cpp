// The metrics a node exporter serves: a name from a manifest cannot break a line or forge a
// sample, and a value that was not read is not there.
#include "fleet/status.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(StatusMetrics, NamesAreEscapedAndUnreadValuesLeftOut)
{
    StatusRound round;
    round.when = QDateTime::fromSecsSinceEpoch(1796829241);
    CardStatus forged;
    forged.name = QStringLiteral("Kel\"ler\\\nzelkora_card_up{card=\"x\"} 1");
    forged.port = QStringLiteral("/dev/ttyUSB0");
    forged.reachable = true;
    forged.version = 137;
    forged.measurement = std::array<int, 4>{21, -3, 40, 55};
    forged.standing = Standing::Changed;
    CardStatus silent;
    silent.name = QStringLiteral("Dach");
    silent.port = QStringLiteral("socket://gw:4002");
    round.cards = {forged, silent};

    const QStringList lines =
        QString::fromUtf8(StatusMetrics(round)).split(u'\n', Qt::SkipEmptyParts);
    // Every line is a comment or one sample of a known family with a number at its end.
    static const QRegularExpression sample(
        QStringLiteral("^zelkora_(card_[a-z_]+|status_timestamp_seconds)(\\{card=\"([^\"\\\\]|\\\\."
                       ")*\",port=\"[^\"]*\"(,sensor=\"[123]\")?\\})? -?[0-9]+$"));
    int samples = 0;
    for (const QString &line : lines) {
        if (line.startsWith(u'#'))
            continue;
        ++samples;
        EXPECT_TRUE(sample.match(line).hasMatch()) << line.toStdString();
    }
    // up twice, firmware, three temperatures, humidity, in sync: for the card that answered;
    // up for the silent one; the round's time. Nothing else, nothing written as 0 for Dach.
    EXPECT_EQ(samples, 1 + 1 + 1 + 3 + 1 + 1 + 1);
    EXPECT_EQ(lines.filter(QStringLiteral("card=\"Dach\"")).size(), 1);
    EXPECT_TRUE(lines.contains(
        QStringLiteral("zelkora_card_temperature_celsius{card=\"Kel\\\"ler\\\\\\nzelkora_card_up{"
                       "card=\\\"x\\\"} 1\",port=\"/dev/ttyUSB0\",sensor=\"2\"} -3")));
    EXPECT_TRUE(lines.contains(QStringLiteral("zelkora_status_timestamp_seconds 1796829241")));
}

} // namespace
