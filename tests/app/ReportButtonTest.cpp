// "Print Report..." on the Database tab, driven through the window as a user would: sweeps saved
// with the Save button, the run chosen in the saved-run list, the report written and opened.
#include "tests/support/WindowFixture.h"

#include "app/DatabaseTab.h"
#include "app/FatalError.h"
#include "db/SavedRuns.h"
#include "sweep/PingTab.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace kestrion::test {
namespace {

class ReportButtonTest : public WindowFixture {
protected:
    QString reportPath() const { return world.folder.file("IPReport.txt"); }

    // Ping the range and save the sweep, then Reset, as the user would between sweeps.
    void sweepAndSave(const char* octets3, const char* first, const char* last) {
        const QStringList octets = QString::fromLatin1(octets3).split(QLatin1Char('.'));
        sweep::PingTab& tab = *control<sweep::PingTab>(*window, "PingTab");
        tab.Text1->setText(octets[0]);
        tab.Text2->setText(octets[1]);
        tab.Text3->setText(octets[2]);
        tab.Text4->setText(QLatin1String(first));
        tab.Text5->setText(QLatin1String(last));
        tab.cmdPing->click();
        ASSERT_EQ(status(), QStringLiteral("Done."));
        ASSERT_TRUE(tab.cmdSaveRun->isEnabled());
        tab.cmdSaveRun->click();
        tab.cmdReset->click();
    }

    // The Database tab with one run chosen in its list.
    void choose(const QString& range) {
        selectTab(2);
        auto* combo = control<QComboBox>(*window, "comboChooseRun");
        const int index = combo->findText(range);
        ASSERT_GE(index, 0) << range.toStdString();
        combo->setCurrentIndex(index);
        ASSERT_TRUE(control<QPushButton>(*window, "cmdFreeIPReport")->isEnabled());
    }

    QByteArray reportBytes() const {
        QFile file(reportPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(ReportButtonTest, ThreeSavedSweepsGiveTheirRunsReportWhichIsOpened) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    world.echo.answer("192.168.1.20");
    world.echo.answer("192.168.2.7");
    start();
    for (int sweep = 0; sweep < 3; ++sweep)
        sweepAndSave("192.168.1", "1", "254");
    sweepAndSave("192.168.2", "1", "10"); // another run must leave this report alone
    choose(QStringLiteral("192.168.1.1-254"));
    world.boxes.shown.clear();

    QString statusWhileOpening;
    bool hourglassWhileOpening = false;
    world.shell.onOpen = [&](const QString&) {
        statusWhileOpening = status();
        hourglassWhileOpening = QGuiApplication::overrideCursor() != nullptr &&
                                QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    control<QPushButton>(*window, "cmdFreeIPReport")->click();

    QFile expected(QStringLiteral(KESTRION_REPORT_TEST_DATA "/IPReport-one-used.txt"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    EXPECT_EQ(reportBytes(), expected.readAll());
    EXPECT_EQ(world.shell.opened, QStringList{reportPath()});
    EXPECT_EQ(statusWhileOpening, QStringLiteral("Preparing report..."));
    EXPECT_TRUE(hourglassWhileOpening);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(status(), QStringLiteral("Ready."));
    EXPECT_TRUE(world.boxes.shown.empty());

    // Pressed again, the same file: the old one is replaced, not appended to.
    const QByteArray first = reportBytes();
    control<QPushButton>(*window, "cmdFreeIPReport")->click();
    EXPECT_EQ(reportBytes(), first);
    EXPECT_EQ(world.shell.opened.size(), 2);
}

TEST_F(ReportButtonTest, ARunDeletedMeanwhileIsToldAndNoFileIsWritten) {
    world.echo.answer("192.168.1.20");
    start();
    sweepAndSave("192.168.1", "15", "25");
    choose(QStringLiteral("192.168.1.15-25"));
    {
        // Deleted behind the list's back, as by a second window on the same database.
        db::DatabaseBusy otherBusy;
        db::SavedRuns other(world.folder.paths, otherBusy, world.clock);
        ASSERT_TRUE(other.DeleteSavedRun(QStringLiteral("192.168.1.15-25")));
    }
    world.boxes.shown.clear();
    control<QPushButton>(*window, "cmdFreeIPReport")->click();

    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().title, QStringLiteral("Kestrion error."));
    EXPECT_FALSE(QFile::exists(reportPath()));
    EXPECT_TRUE(world.shell.opened.isEmpty());
    EXPECT_EQ(status(), QStringLiteral("Ready."));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ReportButtonTest, ARunWithoutAnsweringAddressSaysDataNotFound) {
    start();
    sweepAndSave("192.168.1", "1", "3"); // nobody answers: the saved sweep has no rows
    choose(QStringLiteral("192.168.1.1-3"));
    world.boxes.shown.clear();
    control<QPushButton>(*window, "cmdFreeIPReport")->click();

    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().title, QStringLiteral("Data Not Found"));
    EXPECT_FALSE(QFile::exists(reportPath()));
    EXPECT_EQ(status(), QStringLiteral("Ready."));
}

TEST_F(ReportButtonTest, ADatabaseFailureIsShownAndEndsTheProgramWithTheCursorRestored) {
    world.echo.answer("192.168.1.20");
    start();
    sweepAndSave("192.168.1", "15", "25");
    choose(QStringLiteral("192.168.1.15-25"));
    ASSERT_TRUE(QFile::remove(world.folder.file("KRdb.mdb")));
    world.boxes.shown.clear();

    QTimer::singleShot(0, [&] { control<QPushButton>(*window, "cmdFreeIPReport")->click(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 1);

    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().title, QStringLiteral("Kestrion"));
    EXPECT_TRUE(world.boxes.last().text.startsWith(QStringLiteral("Run-time error '")))
        << world.boxes.last().text.toStdString();
    EXPECT_TRUE(world.fatal.ending());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFile::exists(reportPath()));
}

} // namespace
} // namespace kestrion::test
