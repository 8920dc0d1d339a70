#include "sweep/EntryValue.h"
#include "tests/support/Harness.h"
#include "tests/sweep/EntryTexts.h"

#include <QClipboard>
#include <QKeySequence>

namespace kestrion::test {
namespace {

const QString kWindow1To254 = QStringLiteral("The number entered here must be between 1 and 254.");
const QString kWindow0To254 = QStringLiteral("The number entered here must be between 0 and 254.");

// The range every case starts from; one box is then given the text under test.
const char* const kBase[5] = {"127", "0", "9", "1", "2"};

QLineEdit* entryBox(Harness& h, int i) {
    return h.box(qPrintable(QStringLiteral("Text%1").arg(i)));
}

std::vector<uint32_t> addresses(const QString& prefix, int first, int last) {
    std::vector<uint32_t> out;
    for (int n = first; n <= last; ++n)
        out.push_back(ip(qPrintable(prefix + QLatin1Char('.') + QString::number(n))));
    return out;
}

// A bad text gets the message of its own box and nothing is sent; a good one is swept as shown.
TEST(ExtremeEntryWindow, NamedTexts) {
    struct Row {
        const char* name;
        int box;
        QString text;
        QString message; // empty: accepted
        const char* shown;
        const char* prefix;
        int first, last;
    };
    const QString dots10k = QStringLiteral("5") + QString(10000, QLatin1Char('.'));
    const QString ones10k = QStringLiteral("1") + QString(10000, QLatin1Char('.'));
    const QString zeros97 = QString(5000, QLatin1Char('0')) + QStringLiteral("97");
    const QString line = QStringLiteral("10.1.2.3 - 10.1.2.50 printers on the second floor");
    const Row rows[] = {
        {"1 and 10,000 dots in Text1 is 1", 1, ones10k, {}, "1", "1.0.9", 1, 2},
        {"5 and 10,000 dots in Text5 is 5", 5, dots10k, {}, "5", "127.0.9", 1, 5},
        {"dots alone in Text2 leave it empty, which is 0",
         2,
         QString(10000, QLatin1Char('.')),
         {},
         "0",
         "127.0.9",
         1,
         2},
        {"5,018 digits in Text2", 2, QString(5018, QLatin1Char('9')), kWindow0To254, nullptr, nullptr, 0, 0},
        {"5,018 digits in Text4", 4, QString(5018, QLatin1Char('9')), kWindow1To254, nullptr, nullptr, 0, 0},
        {"5,000 zeros before 97 in Text3", 3, zeros97, {}, "97", "127.0.97", 1, 2},
        {"24 zeros and 1 in Text4", 4, QString(24, QLatin1Char('0')) + "1", {}, "1", "127.0.9", 1, 2},
        {"25 blanks and 5 in Text5", 5, QString(25, QLatin1Char(' ')) + "5", {}, "5", "127.0.9", 1, 5},
        {"a pasted line in Text1 is its first number", 1, line, {}, "10.1", "10.0.9", 1, 2},
        {"a pasted line in Text3 is its first number", 3, line, {}, "10.1", "127.0.10", 1, 2},
        {"a pasted line in Text4 after a letter", 4, "x" + line, kWindow1To254, nullptr, nullptr, 0, 0},
        {"blanks alone in Text1", 1, QStringLiteral("   "), kWindow1To254, nullptr, nullptr, 0, 0},
        {"newline before a number in Text4", 4, QStringLiteral("\n5"), kWindow1To254, nullptr, nullptr, 0, 0},
        {"control characters in Text5", 5, QString::fromLatin1("\x01\x02", 2) + "7", kWindow1To254, nullptr,
         nullptr, 0, 0},
        {"minus 0.4 in Text2", 2, QStringLiteral("-0.4"), kWindow0To254, nullptr, nullptr, 0, 0},
        {"254.5 in Text4", 4, QStringLiteral("254.5"), kWindow1To254, nullptr, nullptr, 0, 0},
        {"0.5 in Text1", 1, QStringLiteral("0.5"), kWindow1To254, nullptr, nullptr, 0, 0},
        {"Arabic-Indic digits in Text1", 1, QStringLiteral(u"\u0661\u0662"), kWindow1To254, nullptr, nullptr,
         0, 0},
        {"huge negative in Text3", 3, QStringLiteral("-") + QString(30, QLatin1Char('9')), kWindow0To254,
         nullptr, nullptr, 0, 0},
        {"23 blanks and 97 in Text3", 3, QString(23, QLatin1Char(' ')) + "97", {}, "97", "127.0.97", 1, 2},
        {"blanks alone in Text2 are 0", 2, QStringLiteral("  "), {}, "0", "127.0.9", 1, 2},
        {"0.00001 in Text3 is the plain decimal, swept as 0",
         3,
         QStringLiteral("0.00001"),
         {},
         "0.00001",
         "127.0.0",
         1,
         2},
        {"an exponent is not read", 4, QStringLiteral("2e5"), {}, "2", "127.0.9", 2, 2},
        {"a pasted address is its first number", 1, QStringLiteral("127.0.0.1"), {}, "127", "127.0.9", 1, 2},
        {"a NUL after the number",
         5,
         QStringLiteral("3") + QChar(0) + QStringLiteral("9"),
         {},
         "3",
         "127.0.9",
         1,
         3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        h.setRange(kBase[0], kBase[1], kBase[2], kBase[3], kBase[4]);
        entryBox(h, r.box)->setText(r.text);
        h.ping();
        if (!r.message.isEmpty()) {
            EXPECT_EQ(h.world.boxes.shown.size(), 1u);
            EXPECT_EQ(h.world.boxes.shown.empty() ? QString() : h.world.boxes.last().text, r.message);
            EXPECT_TRUE(h.world.echo.sent.empty());
            EXPECT_TRUE(h.rangeEntry().entryError());
            continue;
        }
        EXPECT_TRUE(h.world.boxes.shown.empty());
        EXPECT_EQ(entryBox(h, r.box)->text(), QLatin1String(r.shown));
        EXPECT_EQ(h.sentTo(), addresses(QLatin1String(r.prefix), r.first, r.last));
    }
}

// A whole line pasted into the first box, longer than Qt lets a line edit hold by default: the box
// keeps all of it, Ping takes its leading number and sweeps with it.
TEST(ExtremeEntryWindow, PastedLineInTheFirstBox) {
    Harness h;
    h.setRange(kBase[0], kBase[1], kBase[2], kBase[3], kBase[4]);
    const QString line =
        QStringLiteral("10.1.2.3 - 10.1.2.50 printers on the second floor, ") + QString(40000, 'x');
    QApplication::clipboard()->setText(line);
    QLineEdit* text1 = h.box("Text1");
    text1->setFocus();
    text1->selectAll();
    QTest::keySequence(text1, QKeySequence::Paste);
    EXPECT_EQ(text1->text(), line);
    EXPECT_EQ(h.box("txEchoAddr(0)")->text(), line);
    h.ping();
    EXPECT_TRUE(h.world.boxes.shown.empty());
    EXPECT_EQ(text1->text(), "10.1");
    EXPECT_EQ(h.sentTo(), addresses(QStringLiteral("10.0.9"), 1, 2));
}

// Seeded random texts through the window, one box at a time: only entry-error messages, each naming
// its box's bound, and a sweep only of the range the accepted boxes give.
TEST(ExtremeEntryWindow, SeededRandomTexts) {
    constexpr uint32_t kSeed = 7;
    entry::TextGenerator generate(kSeed);
    std::mt19937 pick(kSeed);
    Harness h;
    int swept = 0;
    for (int i = 0; i < 300; ++i) {
        const int box = std::uniform_int_distribution<int>(1, 5)(pick);
        const QString text = generate.next();
        SCOPED_TRACE("seed " + std::to_string(kSeed) + " case " + std::to_string(i) + " Text" +
                     std::to_string(box) + ": " + entry::printable(text));
        if (h.button("cmdReset")->isEnabled())
            h.button("cmdReset")->click();
        h.world.echo.sent.clear();
        h.world.boxes.shown.clear();
        h.setRange(kBase[0], kBase[1], kBase[2], kBase[3], kBase[4]);
        entryBox(h, box)->setText(text);
        h.ping();

        const bool fourthOctet = box >= 4;
        const std::optional<double> value = entry::expectedValue(text, box == 1 || fourthOctet ? 1 : 0);
        if (!value) {
            ASSERT_EQ(h.world.boxes.shown.size(), 1u);
            EXPECT_EQ(h.world.boxes.last().title, "Address Entry Error");
            EXPECT_EQ(h.world.boxes.last().text, box == 2 || box == 3 ? kWindow0To254 : kWindow1To254);
            EXPECT_TRUE(h.world.echo.sent.empty());
            continue;
        }
        ++swept;
        ASSERT_TRUE(h.world.boxes.shown.empty());
        const int whole = static_cast<int>(std::nearbyint(*value));
        QStringList octets = {kBase[0], kBase[1], kBase[2]};
        int first = 1, last = 2;
        if (box <= 3)
            octets[box - 1] = QString::number(whole);
        else if (box == 4)
            first = whole;
        else
            last = whole;
        EXPECT_EQ(h.sentTo(), addresses(octets.join(QLatin1Char('.')), first, last));
    }
    EXPECT_GT(swept, 30);
}

} // namespace
} // namespace kestrion::test
