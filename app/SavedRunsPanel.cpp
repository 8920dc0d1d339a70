#include "app/SavedRunsPanel.h"

#include "platform/AppTitle.h"
#include "platform/DateText.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace kestrion::app {

using platform::MsgButtons;
using platform::MsgIcon;

SavedRunsPanel::SavedRunsPanel(const SavedRunsControls& controls, db::SavedRuns& savedRuns,
                               platform::MessageBoxes& boxes, QObject* parent)
    : QObject(parent), controls_(controls), savedRuns_(savedRuns), boxes_(boxes) {}

void SavedRunsPanel::connectControls() {
    // `activated` is the user's choice (mouse or keys), also of the entry already shown; choices made
    // from code call comboChooseRun_Click themselves, as FillSavedRunList does.
    QObject::connect(controls_.comboChooseRun, &QComboBox::activated, controls_.comboChooseRun,
                     [this](int) { comboChooseRun_Click(); });
}

void SavedRunsPanel::FillSavedRunList() {
    const QStringList ranges = savedRuns_.listRanges();
    {
        // Adding the first entry would select it on its own; the click below comes once, after the fill.
        const QSignalBlocker blocker(controls_.comboChooseRun);
        controls_.comboChooseRun->clear();
        controls_.lblAdvDateCreated1->clear();
        controls_.lblAdvNumRuns1->clear();
        controls_.comboChooseRun->addItems(ranges);
        controls_.comboChooseRun->setCurrentIndex(ranges.isEmpty() ? -1 : 0);
    }
    if (!ranges.isEmpty()) {
        comboChooseRun_Click();
    } else {
        controls_.cmdFreeIPReport->setEnabled(false);
        controls_.cmdDelSavedRun->setEnabled(false);
        emit shownRunChanged();
    }
}

void SavedRunsPanel::comboChooseRun_Click() {
    const bool chosen = controls_.comboChooseRun->currentText().size() >= 7;
    controls_.cmdDelSavedRun->setEnabled(chosen);
    controls_.cmdFreeIPReport->setEnabled(chosen);
    ShowSavedRunInfo();
    emit shownRunChanged();
}

void SavedRunsPanel::ShowSavedRunInfo() {
    controls_.lblAdvDateCreated1->clear();
    controls_.lblAdvNumRuns1->clear();
    if (const auto run = savedRuns_.find(controls_.comboChooseRun->currentText())) {
        controls_.lblAdvDateCreated1->setText(platform::generalDateText(run->runcreatedate));
        controls_.lblAdvNumRuns1->setText(QString::number(run->numberofruns));
    }
}

db::SaveOutcome SavedRunsPanel::SaveRun(const QString& rangeText, const std::vector<db::ResultRow>& rows,
                                        const db::SweepFacts& facts) {
    const db::SaveOutcome outcome = savedRuns_.SaveRun(rangeText, rows, facts);
    showSaved(outcome);
    if (outcome == db::SaveOutcome::NoRunNumberLeft) {
        // Save stays enabled: once a saved run is deleted, this sweep can still be saved.
        boxes_.show(platform::appTitle() + QStringLiteral(" Error"),
                    QStringLiteral("The database already holds 32767 saved runs, the most it can hold.  "
                                   "Please delete a saved run, then save again."),
                    MsgButtons::Ok, MsgIcon::Exclamation);
        return outcome;
    }
    boxes_.show(platform::appTitle() + QStringLiteral(" Save Notification"), QStringLiteral("Run saved.  "),
                MsgButtons::Ok, MsgIcon::Information);
    return outcome;
}

void SavedRunsPanel::showSaved(db::SaveOutcome outcome) {
    if (outcome == db::SaveOutcome::NoRunNumberLeft)
        return;
    controls_.cmdSaveRun->setEnabled(false);
    emit shownRunChanged();
}

void SavedRunsPanel::cmdSaveRun_Click(const QString& rangeText, const std::vector<db::ResultRow>& rows,
                                      const db::SweepFacts& facts) {
    SaveRun(rangeText, rows, facts);
}

void SavedRunsPanel::cmdDelSavedRun_Click() {
    const int answer = boxes_.show(
        platform::appTitle() + QStringLiteral(" Confirm Delete"),
        QStringLiteral(
            "Are you sure that you want to delete this run, all of its data, and all of its schedules?"),
        MsgButtons::YesNo, MsgIcon::Question, platform::AnswerNo);
    if (answer != platform::AnswerYes)
        return;
    if (!savedRuns_.DeleteSavedRun(controls_.comboChooseRun->currentText()))
        return;
    FillSavedRunList();
    emit schedulesChanged();
}

} // namespace kestrion::app
