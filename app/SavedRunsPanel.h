#pragma once

#include "db/SavedRuns.h"
#include "platform/MessageBoxes.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace kestrion::app {

// The controls of the Database tab's "Saved Run Database" frame and the Ping tab's Save button.
struct SavedRunsControls {
    QComboBox* comboChooseRun = nullptr;
    QLabel* lblAdvDateCreated1 = nullptr; // lblAdvDateCreated(1)
    QLabel* lblAdvNumRuns1 = nullptr;     // lblAdvNumRuns(1)
    QPushButton* cmdDelSavedRun = nullptr;
    QPushButton* cmdFreeIPReport = nullptr;
    QPushButton* cmdSaveRun = nullptr;
};

// The range text of the Save button, in db/ since the command line saves under it too.
using db::rangeTextForSweep;

// The event handlers of the saved-run controls. Database failures (DbError) pass through to the
// application's event boundary.
class SavedRunsPanel : public QObject {
    Q_OBJECT
public:
    SavedRunsPanel(const SavedRunsControls& controls, db::SavedRuns& savedRuns, platform::MessageBoxes& boxes,
                   QObject* parent = nullptr);

    // Routes the user's choice of an entry in comboChooseRun to comboChooseRun_Click.
    void connectControls();

    void FillSavedRunList();
    void comboChooseRun_Click();
    void ShowSavedRunInfo();
    // Saves the sweep's rows under the range, then shows it (showSaved) and confirms with "Run saved.  ".
    db::SaveOutcome SaveRun(const QString& rangeText, const std::vector<db::ResultRow>& rows,
                            const db::SweepFacts& facts = {});
    void cmdSaveRun_Click(const QString& rangeText, const std::vector<db::ResultRow>& rows,
                          const db::SweepFacts& facts = {});
    // What a save changes on the controls, whoever saved (the Save button or a scheduled run): Save is
    // disabled once the sweep is stored.
    void showSaved(db::SaveOutcome outcome);
    void cmdDelSavedRun_Click();

signals:
    // After a saved run was deleted, since its schedules went with it (RefreshSchedules).
    void schedulesChanged();
    // Whenever what the frame shows of the chosen run may have changed: a choice, a fill that leaves
    // the list empty, a save.
    void shownRunChanged();

private:
    SavedRunsControls controls_;
    db::SavedRuns& savedRuns_;
    platform::MessageBoxes& boxes_;
};

} // namespace kestrion::app
