#pragma once

#include "db/SweepLog.h"

#include <QString>
#include <optional>
#include <vector>

namespace kestrion::db {

// One logged sweep as one address saw it.
struct HistoryEntry {
    QString date; // the sweep's stored date text
    bool answered = false;
    std::optional<uint32_t> roundTripTime; // set when it answered with a known time
};

// An address across the logged sweeps of its run, oldest first.
struct AddressHistory {
    QString address;
    std::vector<HistoryEntry> sweeps;
    int answeredIn = 0; // k of ...
    int logged = 0;     // ... n logged sweeps
    int notLogged = 0;  // earlier sweeps of the run that left no log row
    QString firstSeen;  // stored date texts; null when it never answered
    QString lastSeen;
    QString silentSince; // the first sweep after its last answer; null when it answered in the latest
    int sweepsSinceLastAnswer = 0;
    std::optional<uint32_t> lastTime;
    std::optional<uint32_t> medianTime; // of its known times; the lower middle of an even count
};

AddressHistory addressHistory(const SweepLog& log, const QString& address);
// The same from the file, reading only this address's answers (readAnswersOf): a year of hourly
// sweeps is read in a few milliseconds. nullopt when no saved run has exactly this range text.
std::optional<AddressHistory> readAddressHistory(Database& db, const QString& rangeText,
                                                 const QString& address);

enum class ChangeKind {
    New,  // answered in the later sweep, never before it
    Back, // answered in the later sweep after at least one silent sweep
    Gone, // answered in the earlier sweep, silent in the later
};

// The stored and exported spelling of a kind: "new", "back", "gone".
QString changeKindKey(ChangeKind kind);

struct AddressChange {
    ChangeKind kind = ChangeKind::New;
    QString address;
    std::optional<uint32_t> roundTripTime; // in the later sweep (new, back) or the earlier (gone)
};

struct SweepChanges {
    QString earlierDate;
    QString laterDate;
    std::vector<AddressChange> changes; // the block's addresses in address order, then the others
    int count(ChangeKind kind) const;
    bool empty() const { return changes.empty(); }
};

// The changes from sweep `earlier` to sweep `later` (indexes into log.sweeps, earlier < later).
SweepChanges changesBetween(const SweepLog& log, size_t earlier, size_t later);

// The changes to the latest logged sweep from the one before it or, given `since` (a stored date text),
// from the latest sweep at or before that date. nullopt when the log has no such pair of sweeps.
std::optional<SweepChanges> latestChanges(const SweepLog& log, const QString& since = QString());

} // namespace kestrion::db
