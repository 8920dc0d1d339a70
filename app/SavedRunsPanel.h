#pragma once

#include "db/SavedRuns.h"
#include "platform/MessageBoxes.h"
#include "sweep/SweepState.h"

#include <QString>
#include <cstdint>
#include <functional>
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
class SavedRunsPanel {
public:
    SavedRunsPanel(const SavedRunsControls& controls, db::SavedRuns& savedRuns,
                   const sweep::SweepState& state, platform::MessageBoxes& boxes);

    // Routes the user's choice of an entry in comboChooseRun to comboChooseRun_Click.
    void connectControls();

    // Called after a saved run was deleted, since its schedules went with it (RefreshSchedules).
    std::function<void()> schedulesChanged;
    // Called whenever what the frame shows of the chosen run may have changed: a choice, a fill that
    // leaves the list empty, a save.
    std::function<void()> shownRunChanged;

    void FillSavedRunList();
    void comboChooseRun_Click();
    void ShowSavedRunInfo();
    // Saves the grid's result rows under the range: disables Save and, unless a scheduled run is
    // active, confirms with "Run saved.  ". The scheduled run timer calls this too.
    db::SaveOutcome SaveRun(const QString& rangeText, const std::vector<db::ResultRow>& rows);
    void cmdSaveRun_Click(const QString& rangeText, const std::vector<db::ResultRow>& rows);
    void cmdDelSavedRun_Click();

private:
    SavedRunsControls controls_;
    db::SavedRuns& savedRuns_;
    const sweep::SweepState& state_;
    platform::MessageBoxes& boxes_;
};

} // namespace kestrion::app
