#include "tests/support/WindowFixture.h"

#include "sweep/PingTab.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

namespace kestrion::test {
namespace {

class TabsTest : public WindowFixture {
protected:
    void clickTab(int tab) {
        QTabBar* bar = window->SSTab1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }
};

TEST_F(TabsTest, EachTabShowsItsStatusTextAndThePlainCaption) {
    start();
    int fills = 0;
    window->FillSavedRunList = [&] { ++fills; };
    const struct {
        int tab;
        const char* text;
    } rows[] = {
        {1, "Ready."},
        {2, "Select a Run from the Saved Run box to begin."},
        {3, "Thank you for using Kestrion!"},
        {0, "Ready."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        window->setWindowTitle(QStringLiteral("17% Kestrion"));
        selectTab(row.tab);
        EXPECT_EQ(status(), QLatin1String(row.text));
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrion"));
    }
    EXPECT_EQ(fills, 1) << "the saved-run list is filled on entry into the Database tab only";
}

TEST_F(TabsTest, OtherTabsCannotBeChosenWhileASweepRuns) {
    start();
    window->pingTab->Text4->setText(QStringLiteral("1"));
    window->pingTab->Text5->setText(QStringLiteral("3"));
    QList<int> tabDuringSweep;
    world.echo.onClosed = [&](uint32_t) {
        clickTab(1);
        clickTab(3);
        tabDuringSweep << window->SSTab1->currentIndex();
    };
    QTest::mouseClick(window->pingTab->cmdPing, Qt::LeftButton);
    world.echo.onClosed = nullptr;

    EXPECT_EQ(tabDuringSweep, (QList<int>{0, 0, 0}));
    EXPECT_EQ(status(), QStringLiteral("Done."));
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("<missing>")) << "no tab change ran";

    clickTab(1);
    EXPECT_EQ(window->SSTab1->currentIndex(), 1);
    EXPECT_EQ(status(), QStringLiteral("Ready."));
    EXPECT_EQ(stored(QStringLiteral("Timeout")), QStringLiteral("3000"));
}

} // namespace
} // namespace kestrion::test
