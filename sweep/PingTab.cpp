#include "sweep/PingTab.h"

#include "platform/Twips.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableView>

namespace kestrion::sweep {

using platform::twipRect;

namespace {
// The tab page starts below the tab row; positions are given from the top of the tab control.
constexpr int kTabRow = 360;

QPushButton* rightColumnButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(twipRect(5280, top - kTabRow, 1455, 375));
    return b;
}
} // namespace

PingTab::PingTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PingTab"));
    createAddressBoxes();
    createResults();
    createButtons();
    createReportLists();
}

void PingTab::createAddressBoxes() {
    const QString rowCaptions[2] = {QStringLiteral("Beginning Address"), QStringLiteral("Ending Address")};
    static constexpr int rowTops[2] = {840, 1200};
    for (int r = 0; r < 2; ++r) {
        Label6[r] = new QLabel(rowCaptions[r], this);
        Label6[r]->setObjectName(QStringLiteral("Label6(%1)").arg(r));
        Label6[r]->setGeometry(twipRect(120, rowTops[r] - kTabRow + 30, 1500, 285));
    }
    auto box = [this](const QString& name, int column, int row) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setGeometry(twipRect(1680 + column * 615, rowTops[row] - kTabRow, 495, 285));
        return e;
    };
    Text1 = box(QStringLiteral("Text1"), 0, 0);
    Text2 = box(QStringLiteral("Text2"), 1, 0);
    Text3 = box(QStringLiteral("Text3"), 2, 0);
    Text4 = box(QStringLiteral("Text4"), 3, 0);
    for (int i = 0; i < 3; ++i) {
        txEchoAddr[i] = box(QStringLiteral("txEchoAddr(%1)").arg(i), i, 1);
        txEchoAddr[i]->setEnabled(false);
    }
    Text5 = box(QStringLiteral("Text5"), 3, 1);
}

void PingTab::createResults() {
    lblOutput = new QLabel(QStringLiteral("Succesful Pings:"), this);
    lblOutput->setObjectName(QStringLiteral("lblOutput"));
    lblOutput->setGeometry(twipRect(120, 1740 - kTabRow, 3000, 285));

    flxOutBox = new QTableView(this);
    flxOutBox->setObjectName(QStringLiteral("flxOutBox"));
    // Wide enough for the three columns and a scroll bar; it ends level with the top of Exit, so the two
    // one-line lists below it sit beside that button.
    flxOutBox->setGeometry(twipRect(120, 2040 - kTabRow, 5040, 4680 - 2040));
    flxOutBox->verticalHeader()->setVisible(false);
    flxOutBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    flxOutBox->setSelectionMode(QAbstractItemView::NoSelection);
}

void PingTab::createButtons() {
    cmdPing = rightColumnButton(this, "cmdPing", QStringLiteral("Ping"), 840);
    cmdPing->setEnabled(false);
    cmdCancelPing = rightColumnButton(this, "cmdCancelPing", QStringLiteral("Cancel"), 1320);
    cmdSaveRun = rightColumnButton(this, "cmdSaveRun", QStringLiteral("Save"), 2040);
    cmdSaveRun->setEnabled(false);
    cmdReset = rightColumnButton(this, "cmdReset", QStringLiteral("Reset"), 2520);
    cmdReset->setEnabled(false);
    cmdLaunchHelp1 = rightColumnButton(this, "cmdLaunchHelp(1)", QStringLiteral("Help"), 4200);
    cmdExit2 = rightColumnButton(this, "cmdExit(2)", QStringLiteral("Exit"), 4680);
}

void PingTab::createReportLists() {
    lbReportIP = new QListView(this);
    lbReportIP->setObjectName(QStringLiteral("lbReportIP"));
    lbReportIP->setGeometry(twipRect(120, 4770 - kTabRow, 1500, 270));
    lbReportRTT = new QListView(this);
    lbReportRTT->setObjectName(QStringLiteral("lbReportRTT"));
    lbReportRTT->setGeometry(twipRect(1680, 4770 - kTabRow, 600, 270));
    // Uniform sizes: otherwise every added item lays out (and shapes the text of) all items again.
    // One line high, they show the last item, which the sweep selects; a scroll bar would not fit.
    for (QListView* list : {lbReportIP, lbReportRTT}) {
        list->setUniformItemSizes(true);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
}

QLineEdit* PingTab::entryBox(int i) const {
    switch (i) {
    case 1:
        return Text1;
    case 2:
        return Text2;
    case 3:
        return Text3;
    case 4:
        return Text4;
    case 5:
        return Text5;
    default:
        return nullptr;
    }
}

} // namespace kestrion::sweep
