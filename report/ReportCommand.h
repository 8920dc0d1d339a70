#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestrion::report {

// The run number of a range text; nullopt when no saved run has it (db::SavedRuns::FindRunNo).
using RunNumberFinder = std::function<std::optional<int16_t>(const QString&)>;

// What the "Print Report..." button does: find the run, build the work tables, write and open
// IPReport.txt, with the hourglass shown throughout and the status panel telling each step.
class FreeIPReportCommand : public QObject {
    Q_OBJECT
public:
    FreeIPReportCommand(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                        platform::MessageBoxes& boxes, platform::Shell& shell, RunNumberFinder findRunNo,
                        QObject* parent = nullptr);

    // Runs for the range text chosen in comboChooseRun. A database or file failure throws
    // db::DbError; the mouse pointer is restored on every path.
    void run(const QString& rangeText);

signals:
    // Each step for the first panel of the status bar, to be painted at once (the command does not
    // yield).
    void statusText(const QString& text);

private:
    const platform::AppPaths& paths_;
    db::DatabaseBusy& busy_;
    platform::MessageBoxes& boxes_;
    platform::Shell& shell_;
    RunNumberFinder findRunNo_;
};

} // namespace kestrion::report
