#pragma once

#include "db/AddressHistory.h"

#include <QLocale>
#include <QString>

namespace kestrion::schedule {

// "2 new, 1 back, 1 gone": the kinds with a change, in that order; empty when there are none.
QString changeCounts(const db::SweepChanges& changes);

// "2 new, 1 back, 1 gone since 9 Dec 2026 14:00" (the earlier sweep's date), kinds without a change
// left out; "No changes since ..." when there are none.
QString changesLine(const db::SweepChanges& changes, const QLocale& locale = QLocale::system());

// A notification of the changes a scheduled run of `range` found: its summary and a body that names
// the addresses of each kind (a few of them, then how many more).
struct ChangesNotice {
    QString summary;
    QString body;
};
ChangesNotice changesNotice(const QString& range, const db::SweepChanges& changes,
                            const QLocale& locale = QLocale::system());

// The date of a sweep as the changes line and the history write it: "9 Dec 2026 14:00".
QString sweepDateText(const QString& storedDate, const QLocale& locale = QLocale::system());

} // namespace kestrion::schedule
