#pragma once

#include "db/Database.h"
#include "platform/MessageBoxes.h"

#include <QString>
#include <atomic>
#include <utility>

namespace kestrion::app {

// "Run-time error '14':" and the failure's text, as the box shows it.
QString runTimeErrorText(const db::DbError& error);

// The fatal box's text: runTimeErrorText, and for a compaction that failed after its change was
// committed a line that the change is stored.
QString fatalBoxText(const db::DbError& error);

// Whether the program is ending after a fatal failure. One per application object (Application holds
// it; main() hands it to start-up and the window through Services): events still queued behind the
// failure must not start new work.
class FatalPath {
public:
    bool ending() const { return ending_; }

    // The one fatal path: shows the failure's number and text in a box titled "Kestrion", then asks
    // every running event loop (nested ones included) to end with exit code 1 and returns 1. No exit()
    // here: the caller returns to the event loop, or, before the loop has started, returns 1 from
    // main(). Whatever was stored before the failure is already safe: every change is one transaction
    // and the compaction never leaves the database file missing.
    int showAndExit(platform::MessageBoxes& boxes, const db::DbError& error);

    // Back to running. The program never ends a failure this way; a test that takes the fatal path of
    // the one application object its binary shares does, so the tests after it still get their events.
    void reset() { ending_ = false; }

private:
    std::atomic<bool> ending_{false};
};

// Runs one event's work at the application's event boundary. A DbError is shown and ends the program
// as above. Returns false when the work failed or did not run because the program is ending.
template <class Work> bool runEventGuarded(FatalPath& fatal, platform::MessageBoxes& boxes, Work&& work) {
    if (fatal.ending())
        return false;
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const db::DbError& error) {
        fatal.showAndExit(boxes, error);
        return false;
    }
}

} // namespace kestrion::app
