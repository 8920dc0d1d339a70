// The typed options over the settings store: each option's default and bounds, the texts written, and a
// write that fails leaving the stored file as it was.
#include "platform/OptionsStore.h"
#include "tests/support/ReadOnlySettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrion::platform {
namespace {

const QString kOptionsSection = QStringLiteral("Settings");

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST(OptionsStore, EachOptionReadsWithinItsBoundsOrAsItsDefault) {
    struct Row {
        const char* name;
        const char* key;
        const char* text; // nullptr: the key is missing
        Options expected;
    };
    const Row rows[] = {
        {"empty store", "Timeout", nullptr, {3000, 64, true}},
        {"time-out outside the offered set", "Timeout", "2000", {2000, 64, true}},
        {"lowest time-out", "Timeout", "1", {1, 64, true}},
        {"zero time-out", "Timeout", "0", {3000, 64, true}},
        {"highest 16-bit time-out", "Timeout", "32767", {32767, 64, true}},
        {"time-out above 16 bits", "Timeout", "32768", {3000, 64, true}},
        {"time-out not a number", "Timeout", "3000ms", {3000, 64, true}},
        {"zero packet size", "PacketSize", "0", {3000, 0, true}},
        {"negative packet size", "PacketSize", "-1", {3000, 64, true}},
        {"packet size with blanks", "PacketSize", " 8 ", {3000, 8, true}},
        {"packet size a fraction", "PacketSize", "6.5", {3000, 64, true}},
        {"False", "StartWithLocalAddress", "False", {3000, 64, false}},
        {"TRUE", "StartWithLocalAddress", "TRUE", {3000, 64, true}},
        {"not a Boolean word", "StartWithLocalAddress", "0", {3000, 64, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        SettingsStore settings(dir.filePath(QStringLiteral("k.ini")));
        if (row.text) {
            ASSERT_EQ(settings.write(kOptionsSection, QLatin1String(row.key), QLatin1String(row.text)),
                      StoreStatus::Stored);
        }
        const Options read = readOptions(settings);
        EXPECT_EQ(read.Timeout, row.expected.Timeout);
        EXPECT_EQ(read.PacketSize, row.expected.PacketSize);
        EXPECT_EQ(read.StartWithLocalAddress, row.expected.StartWithLocalAddress);
    }
}

TEST(OptionsStore, WhatIsWrittenReadsBackAndIsStoredAsText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("k.ini"));
    SettingsStore settings(ini);
    EXPECT_FALSE(storedValue(settings, option(&Options::Timeout))) << "a missing key holds nothing";
    EXPECT_FALSE(storedValue(settings, option(&Options::StartWithLocalAddress)));

    const Options chosen{500, 8, false};
    ASSERT_EQ(writeOptions(settings, chosen), StoreStatus::Stored);
    EXPECT_EQ(readOptions(settings), chosen);
    EXPECT_EQ(storedValue(settings, option(&Options::Timeout)), std::optional<int16_t>(500));
    EXPECT_EQ(storedValue(settings, option(&Options::StartWithLocalAddress)), std::optional<bool>(false));

    QSettings stored(ini, QSettings::IniFormat);
    QStringList keys = stored.allKeys();
    keys.sort();
    EXPECT_EQ(keys, QStringList({QStringLiteral("Settings/PacketSize"),
                                 QStringLiteral("Settings/StartWithLocalAddress"),
                                 QStringLiteral("Settings/Timeout")}));
    EXPECT_EQ(stored.value(QStringLiteral("Settings/Timeout")).toString(), QStringLiteral("500"));
    EXPECT_EQ(stored.value(QStringLiteral("Settings/PacketSize")).toString(), QStringLiteral("8"));
    EXPECT_EQ(stored.value(QStringLiteral("Settings/StartWithLocalAddress")).toString(),
              QStringLiteral("False"));
}

// ParallelSweep came after the three original options: a store where it was never turned on holds the
// three original keys alone; once on, it is written with them, and turned off again it is stored as False.
TEST(OptionsStore, TheParallelSweepKeyIsWrittenOnlyOnceTurnedOn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("k.ini"));
    SettingsStore settings(ini);
    const auto keys = [&] {
        QSettings stored(ini, QSettings::IniFormat);
        QStringList all = stored.allKeys();
        all.sort();
        return all;
    };
    const QStringList original = {QStringLiteral("Settings/PacketSize"),
                                  QStringLiteral("Settings/StartWithLocalAddress"),
                                  QStringLiteral("Settings/Timeout")};
    const Flag& parallel = option(&Options::ParallelSweep);

    Options chosen;
    EXPECT_FALSE(chosen.ParallelSweep) << "off by default";
    ASSERT_EQ(writeOptions(settings, chosen), StoreStatus::Stored);
    EXPECT_EQ(keys(), original);
    EXPECT_FALSE(storedValue(settings, parallel));

    chosen.ParallelSweep = true;
    ASSERT_EQ(writeOptions(settings, chosen), StoreStatus::Stored);
    EXPECT_EQ(
        keys(),
        (QStringList{QStringLiteral("Settings/PacketSize"), QStringLiteral("Settings/ParallelSweep"),
                     QStringLiteral("Settings/StartWithLocalAddress"), QStringLiteral("Settings/Timeout")}));
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("Settings/ParallelSweep")).toString(),
              QStringLiteral("True"));
    EXPECT_TRUE(readOptions(settings).ParallelSweep);

    chosen.ParallelSweep = false;
    ASSERT_EQ(writeOptions(settings, chosen), StoreStatus::Stored);
    EXPECT_EQ(storedValue(settings, parallel), std::optional<bool>(false));
    EXPECT_FALSE(readOptions(settings).ParallelSweep);
}

TEST(OptionsStore, AFailedWriteLeavesTheFileAndWhatReadsFromItAsTheyWere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("Kestrion"));
    const QString ini = folder + QStringLiteral("/Kestrion.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    const Options earlier{6000, 512, false};
    {
        SettingsStore settings(ini);
        ASSERT_EQ(writeOptions(settings, earlier), StoreStatus::Stored);
    }
    const QByteArray before = fileBytes(ini);
    // 0 when the write failed and reading still gives the earlier options; otherwise what went wrong.
    const int outcome = test::attemptInReadOnlySettings(dir.path(), folder, ini, [&] {
        SettingsStore settings(ini);
        if (writeOptions(settings, Options{}) != StoreStatus::NotWritable)
            return 1;
        if (!(readOptions(settings) == earlier))
            return 2;
        return 0;
    });
    EXPECT_EQ(outcome, 0) << "1: the write said stored; 2: the unwritten options were read back";
    EXPECT_EQ(fileBytes(ini), before);
}

} // namespace
} // namespace kestrion::platform
