#pragma once

#include "db/Database.h"
#include "platform/MessageBoxes.h"

#include <QString>
#include <utility>

namespace kestrion::app {

// "Run-time error '14':" and the failure's text, as the box shows it.
QString runTimeErrorText(const db::DbError& error);

// The one fatal path: shows the failure's number and text in a box titled "Kestrion", then asks every
// running event loop (nested ones included) to end with exit code 1 and returns 1. No exit() here:
// the caller returns to the event loop, or, before the loop has started, returns 1 from main().
// Whatever was stored before the failure is already safe: every change is one transaction and the
// compaction never leaves the database file missing.
int showFatalAndExit(platform::MessageBoxes& boxes, const db::DbError& error);

// True once showFatalAndExit ran: events still queued behind it must not start new work.
bool endingAfterFatalError();

// Runs one event's work at the application's event boundary. A DbError is shown and ends the program
// as above. Returns false when the work failed or did not run because the program is ending.
template <class Work> bool runEventGuarded(platform::MessageBoxes& boxes, Work&& work) {
    if (endingAfterFatalError())
        return false;
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const db::DbError& error) {
        showFatalAndExit(boxes, error);
        return false;
    }
}

} // namespace kestrion::app
