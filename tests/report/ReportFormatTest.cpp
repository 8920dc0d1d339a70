#include "platform/NetworkPrefix.h"
#include "report/ReportWriter.h"

#include <QList>
#include <gtest/gtest.h>

using kestrion::platform::NetworkPrefix;
using kestrion::report::FormatFreeIPReport;
using kestrion::report::PadRight;

TEST(NetworkPrefix, IsTheTextBeforeTheLastDot) {
    struct Row {
        const char* name;
        QString address;
        QString prefix;
    };
    const Row rows[] = {
        {"an address", QStringLiteral("10.0.0.7"), QStringLiteral("10.0.0")},
        {"three-digit octets", QStringLiteral("192.168.100.254"), QStringLiteral("192.168.100")},
        {"ending in a dot loses the octet before it", QStringLiteral("1.2.3."), QStringLiteral("1.2")},
        {"no dot", QStringLiteral("localhost"), QString()},
        {"empty", QString(), QString()},
        {"only a dot", QStringLiteral("."), QString()},
        {"dot first", QStringLiteral(".5"), QString()},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NetworkPrefix(row.address), row.prefix) << row.name;
}

TEST(PadRight, MakesTextsOfUpToWidthOneLongerThanWidth) {
    struct Row {
        const char* name;
        QString text;
        int16_t width;
        QString padded;
    };
    const Row rows[] = {
        {"shortest address", QStringLiteral("1.1.1.1"), 20, QStringLiteral("1.1.1.1") + QString(14, u' ')},
        {"exactly the width", QStringLiteral("12345"), 5, QStringLiteral("12345 ")},
        {"longer than the width", QStringLiteral("123456"), 5, QStringLiteral("123456")},
        {"empty", QString(), 20, QString(21, u' ')},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PadRight(row.text, row.width), row.padded) << row.name;
}

namespace {
// The address lines of the free section, without their CR LF.
QList<QByteArray> freeLines(const QStringList& addresses) {
    const QByteArray report = FormatFreeIPReport({}, addresses, {});
    QList<QByteArray> lines = report.split('\n');
    const qsizetype first = 10;
    const qsizetype hyphens = lines.indexOf(QByteArray(68, '-') + '\r', first);
    QList<QByteArray> section = lines.mid(first, hyphens - first);
    for (QByteArray& line : section)
        line.chop(1);
    return section;
}
} // namespace

TEST(ReportAddressLines, GroupThreeAddressesToALine) {
    const QByteArray gap10(10, ' ');
    const QByteArray blank21(21, ' ');
    struct Row {
        const char* name;
        QStringList addresses;
        QList<QByteArray> lines;
    };
    const Row rows[] = {
        {"four addresses end with one padded",
         {"192.168.1.3", "192.168.1.4", "192.168.1.5", "192.168.1.6"},
         {"192.168.1.3" + gap10 + "192.168.1.4" + gap10 + "192.168.1.5", "192.168.1.6" + gap10 + blank21}},
        {"a multiple of three ends with a full line",
         {"10.0.0.1", "10.0.0.2", "10.0.0.3"},
         {QByteArray("10.0.0.1") + QByteArray(13, ' ') + "10.0.0.2" + QByteArray(13, ' ') + "10.0.0.3"}},
        {"two addresses are both padded",
         {"10.0.0.1", "10.0.0.2"},
         {QByteArray("10.0.0.1") + QByteArray(13, ' ') + "10.0.0.2" + QByteArray(13, ' ')}},
        {"no address gives no line", {}, {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(freeLines(row.addresses), row.lines) << row.name;
}
