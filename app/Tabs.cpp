// Construction and placement of the Options, Database and About tabs' controls.
#include "app/AboutTab.h"
#include "app/DatabaseTab.h"
#include "app/OptionsTab.h"

#include "platform/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

namespace kestrion::app {

using platform::twipRect;

namespace {
constexpr int kTabRow = 360;

template <typename T> T* named(T* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

QPushButton* rightColumnButton(QWidget* parent, const QString& name, const QString& caption, int top) {
    auto* b = named(new QPushButton(caption, parent), name);
    b->setGeometry(twipRect(5280, top - kTabRow, 1455, 375));
    return b;
}

QLabel* wrappedLabel(QWidget* parent, const QString& name, const QString& text, QRect where) {
    auto* l = named(new QLabel(text, parent), name);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(where);
    return l;
}
} // namespace

OptionsTab::OptionsTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("OptionsTab"));
    fraTimeout = named(new QGroupBox(QStringLiteral("Timeout"), this), QStringLiteral("fraTimeout"));
    fraTimeout->setGeometry(twipRect(240, 600 - kTabRow, 1800, 1560));
    const char* timeouts[4] = {"500 ms", "1000 ms", "3000 ms", "6000 ms"};
    for (int i = 0; i < 4; ++i) {
        optTimeout[i] = named(new QRadioButton(QLatin1String(timeouts[i]), fraTimeout),
                              QStringLiteral("optTimeout(%1)").arg(i));
        optTimeout[i]->setGeometry(twipRect(180, 300 + i * 300, 1500, 285));
    }
    Label8[0] =
        wrappedLabel(this, QStringLiteral("Label8(0)"),
                     QStringLiteral("Select a shorter timeout for faster ping runs, and a longer one for "
                                    "more reliability - particularly on a slower network."),
                     twipRect(2220, 720 - kTabRow, 2880, 1200));
    fraPacketSize =
        named(new QGroupBox(QStringLiteral("Packet Size"), this), QStringLiteral("fraPacketSize"));
    fraPacketSize->setGeometry(twipRect(240, 2280 - kTabRow, 1800, 1260));
    const char* sizes[3] = {"8 bytes", "64 bytes", "512 bytes"};
    for (int i = 0; i < 3; ++i) {
        optPacket[i] = named(new QRadioButton(QLatin1String(sizes[i]), fraPacketSize),
                             QStringLiteral("optPacket(%1)").arg(i));
        optPacket[i]->setGeometry(twipRect(180, 300 + i * 300, 1500, 285));
    }
    Label8[1] =
        wrappedLabel(this, QStringLiteral("Label8(1)"),
                     QStringLiteral("Select a larger packet size to force more data over the network.  "
                                    "Normally, there is no need to do this."),
                     twipRect(2220, 2400 - kTabRow, 2880, 1000));
    Label7 =
        wrappedLabel(this, QStringLiteral("Label7"),
                     QStringLiteral("Select Start with local address to have Kestrion automatically fill in "
                                    "the network based on the local machine's IP address. "),
                     twipRect(240, 3720 - kTabRow, 4860, 600));
    chkStartWLocalAddr = named(new QCheckBox(QStringLiteral("Start with local address"), this),
                               QStringLiteral("chkStartWLocalAddr"));
    chkStartWLocalAddr->setGeometry(twipRect(240, 4380 - kTabRow, 3000, 300));
    // The one control added to the tab: below the last of the others, in the free row above the tab's
    // edge, so that every other control keeps its place.
    chkParallelSweep = named(new QCheckBox(QStringLiteral("Send requests in parallel"), this),
                             QStringLiteral("chkParallelSweep"));
    chkParallelSweep->setGeometry(twipRect(240, 4740 - kTabRow, 3000, 300));
    chkParallelSweep->setToolTip(QStringLiteral(
        "Sweep a range in about a second: one request to every address, 1 ms apart, instead of "
        "one address after the other. Unreachable answers are listed once at the end."));
    cmdApply = rightColumnButton(this, QStringLiteral("cmdApply"), QStringLiteral("Apply"), 840);
    cmdExit1 = rightColumnButton(this, QStringLiteral("cmdExit(1)"), QStringLiteral("Exit"), 4680);
}

DatabaseTab::DatabaseTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DatabaseTab"));
    fraAdvDB = named(new QGroupBox(QStringLiteral("Saved Run Database"), this), QStringLiteral("fraAdvDB"));
    fraAdvDB->setGeometry(twipRect(240, 600 - kTabRow, 4860, 2280));
    Label9 = named(new QLabel(QStringLiteral("Saved Run:"), fraAdvDB), QStringLiteral("Label9"));
    Label9->setGeometry(twipRect(180, 390, 1300, 285));
    comboChooseRun = named(new QComboBox(fraAdvDB), QStringLiteral("comboChooseRun"));
    comboChooseRun->setGeometry(twipRect(1560, 330, 3120, 330));
    const QString rowCaptions[2] = {QStringLiteral("Date Created:"), QStringLiteral("Number of Runs:")};
    QLabel** rows[2] = {lblAdvDateCreated, lblAdvNumRuns};
    const QString rowNames[2] = {QStringLiteral("lblAdvDateCreated(%1)"),
                                 QStringLiteral("lblAdvNumRuns(%1)")};
    for (int r = 0; r < 2; ++r) {
        rows[r][0] = named(new QLabel(rowCaptions[r], fraAdvDB), rowNames[r].arg(0));
        rows[r][0]->setGeometry(twipRect(180, 840 + r * 360, 1380, 285));
        rows[r][1] = named(new QLabel(fraAdvDB), rowNames[r].arg(1));
        rows[r][1]->setGeometry(twipRect(1560, 840 + r * 360, 3120, 285));
    }
    cmdDelSavedRun =
        named(new QPushButton(QStringLiteral("Delete"), fraAdvDB), QStringLiteral("cmdDelSavedRun"));
    cmdDelSavedRun->setGeometry(twipRect(1560, 1680, 1455, 375));
    cmdFreeIPReport = named(new QPushButton(QStringLiteral("Print Report..."), fraAdvDB),
                            QStringLiteral("cmdFreeIPReport"));
    cmdFreeIPReport->setGeometry(twipRect(3180, 1680, 1500, 375));

    fraAdvSched =
        named(new QGroupBox(QStringLiteral("Current Schedules"), this), QStringLiteral("fraAdvSched"));
    fraAdvSched->setGeometry(twipRect(240, 3000 - kTabRow, 4860, 2160));
    lbCurrentSchedules = named(new QListWidget(fraAdvSched), QStringLiteral("lbCurrentSchedules"));
    lbCurrentSchedules->setGeometry(twipRect(180, 330, 4500, 1200));
    cmdSchedNow =
        named(new QPushButton(QStringLiteral("Add Schedule..."), fraAdvSched), QStringLiteral("cmdSchedNow"));
    cmdSchedNow->setGeometry(twipRect(1560, 1620, 1500, 375));
    cmdDeleteSchedule = named(new QPushButton(QStringLiteral("Delete Sched."), fraAdvSched),
                              QStringLiteral("cmdDeleteSchedule"));
    cmdDeleteSchedule->setGeometry(twipRect(3180, 1620, 1500, 375));

    cmdLaunchHelp2 =
        rightColumnButton(this, QStringLiteral("cmdLaunchHelp(2)"), QStringLiteral("Help"), 4200);
    cmdExit3 = rightColumnButton(this, QStringLiteral("cmdExit(3)"), QStringLiteral("Exit"), 4680);
}

AboutTab::AboutTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AboutTab"));
    lbAboutAppName = named(new QLabel(this), QStringLiteral("lbAboutAppName"));
    QFont title = lbAboutAppName->font();
    title.setBold(true);
    title.setPointSize(12);
    lbAboutAppName->setFont(title);
    lbAboutAppName->setAlignment(Qt::AlignCenter);
    lbAboutAppName->setGeometry(twipRect(240, 480 - kTabRow, 4860, 420));

    fraCompanyInfo =
        named(new QGroupBox(QStringLiteral("Contact Information"), this), QStringLiteral("fraCompanyInfo"));
    fraCompanyInfo->setGeometry(twipRect(240, 1020 - kTabRow, 4860, 1860));
    // One line under the other: stepped in whole pixels, so that rounding never lets two lines overlap.
    const QRect firstLine = twipRect(180, 330, 4500, 285);
    for (int i = 0; i < 5; ++i) {
        lbCompanyInfo[i] = named(new QLabel(fraCompanyInfo), QStringLiteral("lbCompanyInfo(%1)").arg(i));
        lbCompanyInfo[i]->setGeometry(firstLine.translated(0, i * firstLine.height()));
    }
    fraAboutNet =
        named(new QGroupBox(QStringLiteral("Winsock Information"), this), QStringLiteral("fraAboutNet"));
    fraAboutNet->setGeometry(twipRect(240, 3000 - kTabRow, 4860, 1020));
    Label1 = named(new QLabel(QStringLiteral("Computer Name:"), fraAboutNet), QStringLiteral("Label1"));
    Label1->setGeometry(twipRect(180, 330, 1440, 285));
    AboutLocalName = named(new QLabel(fraAboutNet), QStringLiteral("AboutLocalName"));
    AboutLocalName->setGeometry(twipRect(1680, 330, 3000, 285));
    Label2 = named(new QLabel(QStringLiteral("IP Address:"), fraAboutNet), QStringLiteral("Label2"));
    Label2->setGeometry(twipRect(180, 630, 1440, 285));
    AboutLocalIP = named(new QLabel(fraAboutNet), QStringLiteral("AboutLocalIP"));
    AboutLocalIP->setGeometry(twipRect(1680, 630, 3000, 285));
    lbCompanyInfo[5] = wrappedLabel(this, QStringLiteral("lbCompanyInfo(5)"), QString(),
                                    twipRect(240, 4140 - kTabRow, 4860, 900));
    for (QLabel* l : lbCompanyInfo)
        l->installEventFilter(this);

    cmdLaunchHelp0 =
        rightColumnButton(this, QStringLiteral("cmdLaunchHelp(0)"), QStringLiteral("Help"), 4200);
    cmdExit0 = rightColumnButton(this, QStringLiteral("cmdExit(0)"), QStringLiteral("Exit"), 4680);
}

bool AboutTab::eventFilter(QObject* watched, QEvent* event) {
    // A click is a left-button release over the label that was pressed, as with a button.
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (int i = 0; i < 6; ++i)
            if (watched == lbCompanyInfo[i] && mouse->button() == Qt::LeftButton &&
                lbCompanyInfo[i]->rect().contains(mouse->position().toPoint())) {
                emit companyInfoClicked(i);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrion::app
