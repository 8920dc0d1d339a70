#include "tests/support/WindowFixture.h"

#include "sweep/PingTab.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

namespace kestrion::test {
namespace {

class OptionsTest : public WindowFixture {
protected:
    QPushButton* apply() { return find<QPushButton>(QStringLiteral("cmdApply")); }
    QRadioButton* timeout(int i) { return find<QRadioButton>(QStringLiteral("optTimeout(%1)").arg(i)); }
    QRadioButton* packet(int i) { return find<QRadioButton>(QStringLiteral("optPacket(%1)").arg(i)); }
    QCheckBox* startLocal() { return find<QCheckBox>(QStringLiteral("chkStartWLocalAddr")); }
    // Near the left edge: a radio button takes clicks only on its indicator and caption.
    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2)); }
};

TEST_F(OptionsTest, EmptyStoreGivesDefaultsAndNothingIsWrittenAtStart) {
    start();
    EXPECT_EQ(test::options(*window).Timeout, 3000);
    EXPECT_EQ(test::options(*window).PacketSize, 64);
    EXPECT_TRUE(test::options(*window).StartWithLocalAddress);
    EXPECT_TRUE(apply()->isEnabled());
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("<missing>"));
}

TEST_F(OptionsTest, FirstTabChangeStoresAllThreeEvenWithoutChanges) {
    start();
    selectTab(2);
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("3000"));
    EXPECT_EQ(stored(QStringLiteral("PacketSize")), QStringLiteral("64"));
    EXPECT_EQ(stored(QStringLiteral("StartWithLocalAddress")), QStringLiteral("True"));
    EXPECT_FALSE(apply()->isEnabled());
}

TEST_F(OptionsTest, StoredTimeout2000IsUsedUntilTheOptionsTabOpens) {
    store(QStringLiteral("Timeout"), QStringLiteral("2000"));
    start();
    EXPECT_EQ(test::options(*window).Timeout, 2000);
    selectTab(3);
    EXPECT_EQ(test::options(*window).Timeout, 2000);
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("2000"));

    selectTab(1);
    EXPECT_TRUE(timeout(2)->isChecked());
    EXPECT_EQ(test::options(*window).Timeout, 3000);
    EXPECT_TRUE(apply()->isEnabled()) << "stored 2000 differs from the 3000 now selected";
    selectTab(0);
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("3000"));
}

TEST_F(OptionsTest, EnteringOptionsShowsStoredValuesAndTheTickedBoxEnablesApply) {
    struct Row {
        const char* name;
        const char* timeout;
        const char* packet;
        const char* startLocal;
        int timeoutButton;
        int packetButton;
        bool ticked;
        bool applyAfterEntry;
    };
    const Row rows[] = {
        {"defaults, box ticked", nullptr, nullptr, nullptr, 2, 1, true, true},
        {"stored 500 ms, 512 bytes, box unticked", "500", "512", "False", 0, 2, false, false},
        {"stored 6000 ms, 8 bytes, box ticked", "6000", "8", "True", 3, 0, true, true},
        {"stored packet size 100 becomes 64", "1000", "100", "False", 1, 1, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(iniPath());
        if (row.timeout)
            store(QStringLiteral("Timeout"), QLatin1String(row.timeout));
        if (row.packet)
            store(QStringLiteral("PacketSize"), QLatin1String(row.packet));
        if (row.startLocal)
            store(QStringLiteral("StartWithLocalAddress"), QLatin1String(row.startLocal));
        start();
        selectTab(1);
        EXPECT_TRUE(timeout(row.timeoutButton)->isChecked());
        EXPECT_TRUE(packet(row.packetButton)->isChecked());
        EXPECT_EQ(startLocal()->isChecked(), row.ticked);
        EXPECT_EQ(apply()->isEnabled(), row.applyAfterEntry);
        EXPECT_EQ(status(), QStringLiteral("Ready."));
        window.reset();
    }
}

TEST_F(OptionsTest, ApplyTracksChangesNotYetStored) {
    store(QStringLiteral("StartWithLocalAddress"), QStringLiteral("False"));
    start();
    selectTab(1);
    ASSERT_FALSE(apply()->isEnabled());

    click(timeout(0));
    EXPECT_EQ(test::options(*window).Timeout, 500);
    EXPECT_TRUE(apply()->isEnabled());
    click(timeout(2));
    EXPECT_TRUE(apply()->isEnabled()) << "back to the stored 3000 keeps Apply enabled";

    click(timeout(3));
    click(packet(2));
    click(apply());
    EXPECT_FALSE(apply()->isEnabled());
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("6000"));
    EXPECT_EQ(stored(QStringLiteral("PacketSize")), QStringLiteral("512"));

    click(packet(2));
    EXPECT_FALSE(apply()->isEnabled()) << "clicking the selected button changes nothing";
    click(packet(1));
    EXPECT_TRUE(apply()->isEnabled());
    click(packet(2));
    EXPECT_TRUE(apply()->isEnabled());
}

TEST_F(OptionsTest, ChangeThenOtherTabStoresWithoutApply) {
    start();
    selectTab(1);
    click(timeout(1));
    click(packet(0));
    selectTab(0);
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("1000"));
    EXPECT_EQ(stored(QStringLiteral("PacketSize")), QStringLiteral("8"));
    EXPECT_FALSE(apply()->isEnabled());
    EXPECT_EQ(test::options(*window).Timeout, 1000);
    EXPECT_EQ(test::options(*window).PacketSize, 8);
}

TEST_F(OptionsTest, UntickAndApplyStoresFalseAndTheNextInitialisationReadsIt) {
    start();
    selectTab(1);
    click(startLocal());
    EXPECT_FALSE(test::options(*window).StartWithLocalAddress);
    click(apply());
    EXPECT_EQ(stored(QStringLiteral("StartWithLocalAddress")), QStringLiteral("False"));

    // The next Reset reads the store again: a value written there meanwhile takes effect ...
    store(QStringLiteral("StartWithLocalAddress"), QStringLiteral("True"));
    part<sweep::PingSweep>(*window)->cmdReset_Click();
    EXPECT_TRUE(test::options(*window).StartWithLocalAddress);
    EXPECT_EQ(control<QLineEdit>(*window, "Text5")->text(), QStringLiteral("254"));
    // ... and so does the next start, which leaves the boxes empty.
    store(QStringLiteral("StartWithLocalAddress"), QStringLiteral("False"));
    window.reset();
    start();
    EXPECT_EQ(control<QLineEdit>(*window, "Text1")->text(), QString());
    EXPECT_EQ(control<QLineEdit>(*window, "Text4")->text(), QString());
}

TEST_F(OptionsTest, TickingTheBoxAlwaysEnablesApply) {
    store(QStringLiteral("StartWithLocalAddress"), QStringLiteral("False"));
    start();
    selectTab(1);
    ASSERT_FALSE(apply()->isEnabled());
    click(startLocal());
    click(startLocal());
    EXPECT_TRUE(apply()->isEnabled()) << "the box does not compare with the store";
    EXPECT_FALSE(test::options(*window).StartWithLocalAddress);
}

// "Send requests in parallel" is an addition to the tab: off by default, never written until turned
// on, so the three original keys and rules stay as they were; on, it is stored and read back.
TEST_F(OptionsTest, TheParallelBoxIsOffByDefaultAndStoredOnlyOnceTurnedOn) {
    const auto parallel = [this] { return find<QCheckBox>(QStringLiteral("chkParallelSweep")); };
    start();
    EXPECT_FALSE(test::options(*window).ParallelSweep);
    selectTab(1);
    EXPECT_FALSE(parallel()->isChecked());
    selectTab(0);
    EXPECT_EQ(stored(QStringLiteral("ParallelSweep")), QStringLiteral("<missing>"))
        << "the store holds the three original keys alone";
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("3000"));

    selectTab(1);
    ASSERT_FALSE(apply()->isEnabled());
    click(parallel());
    EXPECT_TRUE(apply()->isEnabled());
    click(parallel());
    EXPECT_TRUE(apply()->isEnabled()) << "back to the stored value keeps Apply enabled, as for a time-out";
    selectTab(0);
    EXPECT_EQ(stored(QStringLiteral("ParallelSweep")), QStringLiteral("<missing>"))
        << "off: still not written";
    selectTab(1);
    ASSERT_FALSE(apply()->isEnabled());
    click(parallel());
    EXPECT_TRUE(test::options(*window).ParallelSweep);
    EXPECT_TRUE(apply()->isEnabled());
    click(apply());
    EXPECT_EQ(stored(QStringLiteral("ParallelSweep")), QStringLiteral("True"));

    window.reset();
    start();
    EXPECT_TRUE(test::options(*window).ParallelSweep);
    selectTab(1);
    EXPECT_TRUE(parallel()->isChecked());
    click(parallel());
    selectTab(0);
    EXPECT_EQ(stored(QStringLiteral("ParallelSweep")), QStringLiteral("False"));
}

// A settings folder that cannot be made (a file stands in its place, which stops root too): every save
// says so in a box naming the file, and the chosen values stay in effect.
TEST_F(OptionsTest, AStoreThatCannotBeWrittenIsNamedAndTheValuesStayInEffect) {
    struct Row {
        const char* name;
        std::function<void()> save;
        QString statusAfter;
    };
    const Row rows[] = {
        {"Apply", [this] { click(apply()); }, QStringLiteral("Ready.")},
        {"tab change", [this] { selectTab(2); },
         QStringLiteral("Select a Run from the Saved Run box to begin.")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        world.boxes.shown.clear();
        const QString blocker = world.folder.file("settings");
        QDir(blocker).removeRecursively();
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        const QString ini = blocker + QStringLiteral("/Kestrion.ini");
        world.settings = std::make_unique<platform::SettingsStore>(ini);
        const QString notSaved = QStringLiteral("The options could not be saved: ") + ini +
                                 QStringLiteral(" cannot be written. They apply until Kestrion is closed.");
        start();

        selectTab(1); // the first tab change stores the three values, and cannot
        ASSERT_EQ(world.boxes.shown.size(), 1u);
        EXPECT_EQ(world.boxes.shown[0].title, QStringLiteral("Kestrion Error"));
        EXPECT_EQ(world.boxes.shown[0].text, notSaved);
        EXPECT_EQ(world.boxes.shown[0].buttons, platform::MsgButtons::Ok);
        EXPECT_EQ(world.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
        EXPECT_EQ(status(), QStringLiteral("Ready."));

        click(timeout(0));
        click(packet(2));
        EXPECT_TRUE(apply()->isEnabled()) << "nothing is stored to compare with";
        row.save();
        ASSERT_EQ(world.boxes.shown.size(), 2u);
        EXPECT_EQ(world.boxes.shown[1].text, notSaved);
        EXPECT_EQ(test::options(*window).Timeout, 500);
        EXPECT_EQ(test::options(*window).PacketSize, 512);
        EXPECT_TRUE(timeout(0)->isChecked());
        EXPECT_EQ(status(), row.statusAfter);
        EXPECT_FALSE(apply()->isEnabled());

        // Once the folder can be made, the next change is stored and says nothing.
        ASSERT_TRUE(QFile::remove(blocker));
        selectTab(1);
        click(timeout(3));
        EXPECT_TRUE(apply()->isEnabled());
        click(apply());
        EXPECT_EQ(world.boxes.shown.size(), 2u);
        QSettings stored(ini, QSettings::IniFormat);
        EXPECT_EQ(stored.value(QStringLiteral("Settings/Timeout")).toString(), QStringLiteral("6000"));
        EXPECT_EQ(stored.value(QStringLiteral("Settings/PacketSize")).toString(), QStringLiteral("512"));
        window.reset();
    }
}

// Reading at initialisation, without a window.
TEST(ReadSettings, UnreadableOrOutOfRangeValuesGiveTheDefault) {
    struct Row {
        const char* name;
        const char* key;
        const char* text; // nullptr: the key is missing
        int timeout;
        int packetSize;
        bool startLocal;
    };
    const Row rows[] = {
        {"missing", "Timeout", nullptr, 3000, 64, true},
        {"offered value", "Timeout", "6000", 6000, 64, true},
        {"value outside the offered set is kept", "Timeout", "2000", 2000, 64, true},
        {"not a number", "Timeout", "fast", 3000, 64, true},
        {"empty", "Timeout", "", 3000, 64, true},
        {"above 16 bits", "Timeout", "40000", 3000, 64, true},
        {"zero time-out", "Timeout", "0", 3000, 64, true},
        {"negative time-out", "Timeout", "-500", 3000, 64, true},
        {"fraction", "PacketSize", "6.5", 3000, 64, true},
        {"negative packet size", "PacketSize", "-8", 3000, 64, true},
        {"zero packet size is an echo without data", "PacketSize", "0", 3000, 0, true},
        {"surrounding blanks", "PacketSize", " 512 ", 3000, 512, true},
        {"False", "StartWithLocalAddress", "False", 3000, 64, false},
        {"lower-case false", "StartWithLocalAddress", "false", 3000, 64, false},
        {"not a Boolean word", "StartWithLocalAddress", "maybe", 3000, 64, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        platform::SettingsStore settings(dir.filePath(QStringLiteral("k.ini")));
        if (row.text)
            settings.write(QStringLiteral("Settings"), QLatin1String(row.key), QLatin1String(row.text));
        sweep::SweepOptions state;
        state.Timeout = 1;
        state.PacketSize = 1;
        state.StartWithLocalAddress = !row.startLocal;
        app::ReadSettings(state, settings);
        EXPECT_EQ(state.Timeout, row.timeout);
        EXPECT_EQ(state.PacketSize, row.packetSize);
        EXPECT_EQ(state.StartWithLocalAddress, row.startLocal);
    }
}

} // namespace
} // namespace kestrion::test
