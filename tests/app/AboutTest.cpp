#include "tests/support/WindowFixture.h"

#include "app/About.h"

#include "Version.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace kestrion::test {
namespace {

class AboutTest : public WindowFixture {
protected:
    QLabel* label(const QString& name) { return find<QLabel>(name); }
    QLabel* companyLine(int i) { return label(QStringLiteral("lbCompanyInfo(%1)").arg(i)); }
};

TEST_F(AboutTest, SetUpFillsTitleAndContactLines) {
    start();
    EXPECT_EQ(label(QStringLiteral("lbAboutAppName"))->text(),
              QStringLiteral("Kestrion %1.%2").arg(KESTRION_VERSION_MAJOR).arg(KESTRION_VERSION_MINOR));
    EXPECT_EQ(companyLine(0)->text(), QStringLiteral(KESTRION_COMPANY_NAME));
    EXPECT_FALSE(companyLine(1)->text().isEmpty());
    EXPECT_FALSE(companyLine(2)->text().isEmpty());
    EXPECT_EQ(companyLine(3)->text(), QStringLiteral("Web:  ") + QStringLiteral(KESTRION_WEB_HOST));
    EXPECT_FALSE(companyLine(3)->text().contains(QStringLiteral("://"))) << "the web line has no scheme";
    EXPECT_TRUE(companyLine(4)->text().startsWith(QStringLiteral("E-Mail:  ")));
    EXPECT_TRUE(companyLine(4)->text().contains(QLatin1Char('@')));
    EXPECT_EQ(companyLine(5)->text(), QStringLiteral(KESTRION_LEGAL_NOTICE));
    EXPECT_TRUE(window->about->webAddress().startsWith(QStringLiteral("https://")));

    const QLabel* web = companyLine(3);
    EXPECT_TRUE(web->font().underline());
    EXPECT_DOUBLE_EQ(web->font().pointSizeF(), 8.25);
    EXPECT_EQ(web->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(web->cursor().shape(), Qt::PointingHandCursor) << "no H_point.cur in the folder";
    EXPECT_EQ(companyLine(0)->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(AboutTest, HandCursorComesFromTheCursorFileWithItsHotSpot) {
    // A 16 x 16 icon turned into a cursor file: type 2, hot spot (5, 3) in the directory entry.
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::black);
    const QString path = world.folder.file("H_point.cur");
    ASSERT_TRUE(image.save(path, "ICO"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes[2] = 2;
    bytes[10] = 5;
    bytes[11] = 0;
    bytes[12] = 3;
    bytes[13] = 0;
    file.seek(0);
    file.write(bytes);
    file.close();

    const QCursor cursor = app::About::handCursor(appFolder());
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(5, 3));

    QFile::resize(path, 4);
    EXPECT_EQ(app::About::handCursor(appFolder()).shape(), Qt::PointingHandCursor) << "a damaged file";
}

TEST_F(AboutTest, EnteringAboutShowsThisMachineWithTheHourglassMeanwhile) {
    start();
    QStringList seenStatus;
    QList<int> seenCursor;
    world.host.onLookup = [&] {
        seenStatus << status();
        const QCursor* c = QApplication::overrideCursor();
        seenCursor << (c ? int(c->shape()) : -1);
    };
    window->setWindowTitle(QStringLiteral("42% Kestrion"));
    selectTab(3);
    EXPECT_EQ(label(QStringLiteral("AboutLocalName"))->text(), QStringLiteral("lab7"));
    EXPECT_EQ(label(QStringLiteral("AboutLocalIP"))->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(status(), QStringLiteral("Thank you for using Kestrion!"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrion"));
    ASSERT_FALSE(seenStatus.isEmpty());
    for (const QString& s : seenStatus)
        EXPECT_EQ(s, QStringLiteral("Loading Winsock information..."));
    for (int shape : seenCursor)
        EXPECT_EQ(shape, int(Qt::WaitCursor));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "pointer restored";
}

TEST_F(AboutTest, NetworkLinesAreReadOnEachEntryOnly) {
    start();
    selectTab(3);
    world.host.name = QStringLiteral("lab8");
    world.host.address = QString();
    EXPECT_EQ(label(QStringLiteral("AboutLocalName"))->text(), QStringLiteral("lab7"))
        << "not refreshed while the tab stays open";
    selectTab(0);
    selectTab(3);
    EXPECT_EQ(label(QStringLiteral("AboutLocalName"))->text(), QStringLiteral("lab8"));
    EXPECT_EQ(label(QStringLiteral("AboutLocalIP"))->text(), QString()) << "an empty address is shown as is";
}

TEST_F(AboutTest, EveryContactLineOpensTheWebAddress) {
    start();
    selectTab(3);
    const char* rows[] = {"company", "postal line 1", "postal line 2", "web", "e-mail", "legal notice"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(rows[i]);
        world.shell.opened.clear();
        QTest::mouseClick(companyLine(i), Qt::LeftButton);
        EXPECT_EQ(world.shell.opened, QStringList{window->about->webAddress()});
    }
    world.shell.opened.clear();
    QTest::mouseClick(companyLine(3), Qt::RightButton);
    EXPECT_TRUE(world.shell.opened.isEmpty()) << "a right click opens nothing";
}

TEST_F(AboutTest, TheThreeHelpButtonsOpenTheSameHelpPage) {
    start();
    const char* rows[] = {"cmdLaunchHelp(0)", "cmdLaunchHelp(1)", "cmdLaunchHelp(2)"};
    const int tabs[] = {3, 0, 2};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[i]);
        selectTab(tabs[i]);
        world.shell.opened.clear();
        QTest::mouseClick(find<QPushButton>(QLatin1String(rows[i])), Qt::LeftButton);
        EXPECT_EQ(world.shell.opened, QStringList{world.folder.file("Kestrion.html")});
    }
}

TEST(HelpPage, ShipsInTheApplicationFolder) {
    QFile page(QStringLiteral(KESTRION_APP_DIR "/Kestrion.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString html = QString::fromUtf8(page.readAll());
    for (const char* topic : {"Ping", "Options", "Database", "About", "Schedule", "Free IP Report", "setcap"})
        EXPECT_TRUE(html.contains(QLatin1String(topic), Qt::CaseInsensitive)) << topic;
}

} // namespace
} // namespace kestrion::test
