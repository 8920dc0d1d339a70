#include "tests/support/Harness.h"

#include "sweep/RangeEntry.h"

namespace kestrion::test {
namespace {

using platform::MsgButtons;
using platform::MsgIcon;

const QString k1To254 = QStringLiteral("The number entered here must be between 1 and 254.");
const QString k0To254 = QStringLiteral("The number entered here must be between 0 and 254.");

TEST(RangeEntry, TypingMovesAlongTheBoxes) {
    // Started without the local address, the boxes are empty.
    Harness h(true, [](FakeWorld& world) {
        world.settings->write(QStringLiteral("Settings"), QStringLiteral("StartWithLocalAddress"),
                              QStringLiteral("False"));
    });
    QStringList echoes;
    QObject::connect(h.box("txEchoAddr(0)"), &QLineEdit::textChanged, [&](const QString& t) { echoes << t; });
    h.box("Text1")->setFocus();
    h.type("192");
    EXPECT_EQ(h.box("Text1")->text(), "192");
    EXPECT_EQ(echoes, QStringList({"1", "19", "192"}));
    EXPECT_EQ(QApplication::focusWidget(), h.box("Text2"));

    h.type("10.");
    EXPECT_EQ(h.box("Text2")->text(), "10");
    EXPECT_EQ(h.box("txEchoAddr(1)")->text(), "10");
    EXPECT_EQ(QApplication::focusWidget(), h.box("Text3"));

    h.type(".");
    EXPECT_EQ(h.box("Text3")->text(), "");
    EXPECT_EQ(QApplication::focusWidget(), h.box("Text3"));

    h.type("5.");
    EXPECT_EQ(h.box("Text3")->text(), "5") << "one digit and a dot keeps the digit";
    EXPECT_EQ(QApplication::focusWidget(), h.box("Text4"));
}

// The change rule by the length of the text, however it got there (typed, pasted or assigned).
TEST(RangeEntry, ChangeRuleByLength) {
    struct Row {
        const char* name;
        const char* text;
        const char* kept;
        bool moves;
    };
    const Row rows[] = {{"one digit stays", "7", "7", false},
                        {"a lone dot is dropped", ".", "", false},
                        {"two digits wait", "12", "12", false},
                        {"two digits and a dot", "12.", "12", true},
                        {"third character moves on", "123", "123", true},
                        {"letters are not rejected here", "abc", "abc", true},
                        {"four characters wait", "1234", "1234", false},
                        {"a dot after four characters", "1234.", "1234", true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        QLineEdit* box = h.box("Text4");
        box->setText(QString());
        box->setFocus();
        box->setText(QLatin1String(r.text));
        EXPECT_EQ(box->text(), r.kept);
        EXPECT_EQ(QApplication::focusWidget(), r.moves ? h.box("Text5") : box);
    }
}

TEST(RangeEntry, LastBoxMovesToPingOnlyWhenItIsEnabled) {
    struct Row {
        const char* name;
        bool pingEnabled;
        const char* typed;
        const char* text;
        const char* focus;
    };
    const Row rows[] = {{"enabled", true, "254", "254", "cmdPing"},
                        {"disabled", false, "254", "254", "Text5"},
                        {"disabled, third character a dot", false, "25.", "25", "Text5"},
                        {"enabled, third character a dot", true, "25.", "25", "cmdPing"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        h.button("cmdPing")->setEnabled(r.pingEnabled);
        h.box("Text5")->setText(QString());
        h.box("Text5")->setFocus();
        h.type(QLatin1String(r.typed));
        EXPECT_EQ(h.box("Text5")->text(), r.text);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), r.focus);
    }
}

TEST(RangeEntry, FocusSelectsTheWholeText) {
    Harness h;
    h.box("Text4")->setText(QStringLiteral("12"));
    h.box("Text1")->setFocus();
    h.box("Text4")->setFocus();
    EXPECT_EQ(h.box("Text4")->selectedText(), "12");
    h.type("9");
    EXPECT_EQ(h.box("Text4")->text(), "9");
}

// A bad box shows its message once, no sweep starts and the initialisation refills the boxes.
TEST(RangeEntry, EveryEntryErrorPath) {
    struct Row {
        const char* name;
        const char* boxes[5];
        QString message;
    };
    const Row rows[] = {
        {"Text1 zero", {"0", "1", "2", "1", "9"}, k1To254},
        {"Text1 255", {"255", "1", "2", "1", "9"}, k1To254},
        {"Text1 letters", {"abc", "1", "2", "1", "9"}, k1To254},
        {"Text1 empty", {"", "1", "2", "1", "9"}, k1To254},
        {"Text2 255", {"10", "255", "2", "1", "9"}, k0To254},
        {"Text2 negative", {"10", "-1", "2", "1", "9"}, k0To254},
        {"Text3 300", {"10", "1", "300", "1", "9"}, k0To254},
        {"Text4 zero", {"10", "1", "2", "0", "9"}, k1To254},
        {"Text4 empty", {"10", "1", "2", "", "9"}, k1To254},
        {"Text5 255", {"10", "1", "2", "1", "255"}, k1To254},
        {"Text5 letters", {"10", "1", "2", "1", "x"}, k1To254},
        {"two bad boxes: only the first is examined", {"300", "1", "2", "0", "9"}, k1To254},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        bool emptiedWhenShown = false;
        h.world.boxes.answerFor = [&](const FakeMessageBoxes::Box&) {
            for (int i = 1; i <= 5; ++i)
                if (h.box(qPrintable(QStringLiteral("Text%1").arg(i)))->text().isEmpty())
                    emptiedWhenShown = true;
            return platform::AnswerOk;
        };
        h.setRange(r.boxes[0], r.boxes[1], r.boxes[2], r.boxes[3], r.boxes[4]);
        h.ping();
        ASSERT_EQ(h.world.boxes.shown.size(), 1u);
        EXPECT_EQ(h.world.boxes.last().title, "Address Entry Error");
        EXPECT_EQ(h.world.boxes.last().text, r.message);
        EXPECT_EQ(h.world.boxes.last().buttons, MsgButtons::Ok);
        EXPECT_EQ(h.world.boxes.last().icon, MsgIcon::None);
        EXPECT_TRUE(emptiedWhenShown) << "the bad box is emptied before its message";
        EXPECT_TRUE(h.rangeEntry().entryError());
        EXPECT_TRUE(h.world.echo.sent.empty());
        EXPECT_EQ(h.panel1(), "Welcome.");
        EXPECT_TRUE(h.button("cmdPing")->isEnabled());
        // The start-up rule refilled every box from the local address 10.0.0.5.
        EXPECT_EQ(h.box("Text1")->text(), "10");
        EXPECT_EQ(h.box("Text2")->text(), "0");
        EXPECT_EQ(h.box("Text4")->text(), "1");
        EXPECT_EQ(h.box("Text5")->text(), "254");
    }
}

TEST(RangeEntry, AcceptedBoxesBecomeTheRange) {
    struct Row {
        const char* name;
        const char* boxes[5];
        const char* shown[5];
        const char* octets[3];
        int16_t first, last;
    };
    const Row rows[] = {
        {"plain",
         {"192", "168", "1", "1", "254"},
         {"192", "168", "1", "1", "254"},
         {"192", "168", "1"},
         1,
         254},
        {"empty second box", {"10", "", "3", "1", "5"}, {"10", "0", "3", "1", "5"}, {"10", "0", "3"}, 1, 5},
        {"leading zeros", {"10", "1", "007", "1", "5"}, {"10", "1", "7", "1", "5"}, {"10", "1", "7"}, 1, 5},
        {"trailing letters", {"10", "1", "2", "4x", "6"}, {"10", "1", "2", "4", "6"}, {"10", "1", "2"}, 4, 6},
        {"halves to even",
         {"10", "1", "2", "2.5", "3.5"},
         {"10", "1", "2", "2.5", "3.5"},
         {"10", "1", "2"},
         2,
         4},
        {"start above end",
         {"10", "1", "2", "200", "100"},
         {"10", "1", "2", "200", "100"},
         {"10", "1", "2"},
         200,
         100},
        {"fractional octet is whole",
         {"10", "1", "7.5", "1", "2"},
         {"10", "1", "7.5", "1", "2"},
         {"10", "1", "8"},
         1,
         2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        h.setRange(r.boxes[0], r.boxes[1], r.boxes[2], r.boxes[3], r.boxes[4]);
        const std::optional<sweep::SweepRange> range = h.rangeEntry().TakeRange();
        EXPECT_FALSE(h.rangeEntry().entryError());
        EXPECT_TRUE(h.world.boxes.shown.empty());
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(h.box(qPrintable(QStringLiteral("Text%1").arg(i + 1)))->text(), r.shown[i]) << i;
        ASSERT_TRUE(range);
        EXPECT_EQ(range->octet1, r.octets[0]);
        EXPECT_EQ(range->octet2, r.octets[1]);
        EXPECT_EQ(range->octet3, r.octets[2]);
        EXPECT_EQ(range->firstHost, r.first);
        EXPECT_EQ(range->lastHost, r.last);
    }
}

TEST(RangeEntry, FillAddressBoxesAndTheStartUpRule) {
    struct Row {
        const char* name;
        const char* address;
        const char* boxes[5];
    };
    const Row rows[] = {{"three fields", "10.20.30", {"10", "20", "30", "1", "254"}},
                        {"four fields", "10.20.30.40", {"10", "20", "30", "1", "254"}},
                        {"no dot", "10", {"10", "", "", "1", "254"}},
                        {"local address", "192.168.1.37", {"192", "168", "1", "1", "254"}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Harness h;
        part<sweep::RangeEntry>(*h.window)->FillAddressBoxes(QLatin1String(r.address));
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(h.box(qPrintable(QStringLiteral("Text%1").arg(i + 1)))->text(), r.boxes[i]) << i;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(h.box(qPrintable(QStringLiteral("txEchoAddr(%1)").arg(i)))->text(), r.boxes[i]);
        EXPECT_EQ(QApplication::focusWidget(), h.box("Text1"));
    }

    Harness off(false);
    off.world.settings->write(QStringLiteral("Settings"), QStringLiteral("StartWithLocalAddress"),
                              QStringLiteral("False"));
    off.load();
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(off.box(qPrintable(QStringLiteral("Text%1").arg(i)))->text().isEmpty());
    EXPECT_TRUE(off.box("txEchoAddr(2)")->text().isEmpty());
}

} // namespace
} // namespace kestrion::test
