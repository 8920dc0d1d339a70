#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestrion::report {

// Sets the first panel of the status bar and repaints it at once (the handler does not yield).
using StatusPanel = std::function<void(const QString&)>;
// The run number of a range text; nullopt when no saved run has it (db::SavedRuns::FindRunNo).
using RunNumberFinder = std::function<std::optional<int16_t>(const QString&)>;

// What the "Print Report..." button does: find the run, build the work tables, write and open
// IPReport.txt, with the hourglass shown throughout and the status panel telling each step.
class FreeIPReportCommand {
public:
    FreeIPReportCommand(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                        platform::MessageBoxes& boxes, platform::Shell& shell, RunNumberFinder findRunNo,
                        StatusPanel status);

    // Runs for the range text chosen in comboChooseRun. A database or file failure throws
    // db::DbError; the mouse pointer is restored on every path.
    void run(const QString& rangeText);

private:
    const platform::AppPaths& paths_;
    db::DatabaseBusy& busy_;
    platform::MessageBoxes& boxes_;
    platform::Shell& shell_;
    RunNumberFinder findRunNo_;
    StatusPanel status_;
};

} // namespace kestrion::report
