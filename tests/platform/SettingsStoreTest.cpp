// Writing the settings store where its file cannot be written: the write says so, and the store goes on
// reading what the file holds.
#include "platform/Settings.h"
#include "tests/support/ReadOnlySettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrion::platform {
namespace {

const QString kSection = QStringLiteral("Settings");

QString storedText(const QString& iniPath, const QString& key) {
    QSettings ini(iniPath, QSettings::IniFormat);
    return ini.value(kSection + QLatin1Char('/') + key, QStringLiteral("<missing>")).toString();
}

// The three keys as the Options tab writes them.
StoreStatus writeOptions(SettingsStore& store, const char* timeout) {
    return store.write(kSection, {{QStringLiteral("Timeout"), QLatin1String(timeout)},
                                  {QStringLiteral("PacketSize"), QStringLiteral("512")},
                                  {QStringLiteral("StartWithLocalAddress"), QStringLiteral("False")}});
}

TEST(SettingsStore, AFileInThePlaceOfTheFolderFailsTheWriteUntilTheFolderIsThere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile blocker(dir.filePath(QStringLiteral("Kestrion")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString ini = dir.filePath(QStringLiteral("Kestrion/Kestrion.ini"));

    SettingsStore store(ini);
    EXPECT_EQ(store.fileName(), ini);
    EXPECT_EQ(writeOptions(store, "500"), StoreStatus::NotWritable);
    EXPECT_FALSE(store.contains(kSection, QStringLiteral("Timeout"))) << "nothing unwritten reads as stored";
    EXPECT_EQ(store.read(kSection, QStringLiteral("PacketSize"), QStringLiteral("64")), QStringLiteral("64"));
    EXPECT_EQ(writeOptions(store, "500"), StoreStatus::NotWritable) << "and it fails again";

    // Once the folder can be made, the same store writes: an earlier failure is not held against it.
    ASSERT_TRUE(QFile::remove(blocker.fileName()));
    EXPECT_EQ(writeOptions(store, "6000"), StoreStatus::Stored);
    EXPECT_EQ(store.read(kSection, QStringLiteral("Timeout"), QString()), QStringLiteral("6000"));
    EXPECT_EQ(storedText(ini, QStringLiteral("Timeout")), QStringLiteral("6000"));
    EXPECT_EQ(storedText(ini, QStringLiteral("StartWithLocalAddress")), QStringLiteral("False"));
}

TEST(SettingsStore, AReadOnlyFolderKeepsTheStoredValuesForAnOrdinaryUser) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("Kestrion"));
    const QString ini = folder + QStringLiteral("/Kestrion.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        SettingsStore earlier(ini);
        ASSERT_EQ(writeOptions(earlier, "3000"), StoreStatus::Stored);
    }
    // 0 when the write failed and the store still reads the stored 3000; otherwise what went wrong.
    const int outcome = test::attemptInReadOnlySettings(dir.path(), folder, ini, [&] {
        SettingsStore store(ini);
        if (writeOptions(store, "500") != StoreStatus::NotWritable)
            return 1;
        if (store.read(kSection, QStringLiteral("Timeout"), QString()) != QStringLiteral("3000"))
            return 2;
        return 0;
    });
    EXPECT_EQ(outcome, 0) << "1: the write said stored; 2: the unwritten value was read back";
    EXPECT_EQ(storedText(ini, QStringLiteral("Timeout")), QStringLiteral("3000"));
}

} // namespace
} // namespace kestrion::platform
