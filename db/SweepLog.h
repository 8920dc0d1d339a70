#pragma once

#include "db/Database.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kestrion::db {

struct ResultRow;

// Who carried a logged sweep out. Earlier: a sweep saved before the log existed (or by a program
// that does not keep it), filled in from its result rows.
enum class SweptBy { Window, Schedule, CommandLine, Earlier };

// What the result rows do not say about a sweep: who swept and how long it took.
struct SweepFacts {
    SweptBy by = SweptBy::Window;
    std::optional<int64_t> durationMs;
};

// The answer of one address in a logged sweep: its round-trip time in milliseconds, or one of these.
constexpr uint16_t kSilent = 0xFFFF;
constexpr uint16_t kTimeUnknown = 0xFFFE; // answered; the stored time was not a number
constexpr uint16_t kLongestTime = 0xFFFD; // longer times are kept as this

// One row of tblSweepLog: one saved sweep of a run. Its result rows in tblSuccess carry the same
// RunDate (`date`, the stored text); the answers are kept here once more, compactly, so that an
// address's history and the changes between sweeps never read the result table.
struct LoggedSweep {
    int64_t sweepNo = 0;
    QString date; // stored date text, sortable
    QString firstAddress;
    QString lastAddress;
    int answered = 0;
    std::optional<int64_t> durationMs;
    SweptBy by = SweptBy::Earlier;
    std::array<uint16_t, 256> answers{};              // by the fourth octet of the run's block
    std::vector<std::pair<QString, uint16_t>> others; // answers from addresses outside the block

    // The answer of `address`, kSilent when it did not answer in this sweep.
    uint16_t answerOf(const QString& block, const QString& address) const;
};

// Every logged sweep of one saved run, oldest first.
struct SweepLog {
    int64_t runNo = 0;
    QString rangeText;
    QString block; // "192.168.1"
    int numberofruns = 0;
    std::vector<LoggedSweep> sweeps;

    // Sweeps counted in numberofruns that left no log row (saved before the log existed, with no
    // answer, so nothing tells when they ran).
    int notLogged() const { return std::max(0, numberofruns - static_cast<int>(sweeps.size())); }
};

// The block part of a range text: its first three dotted parts.
QString blockOfRange(const QString& rangeText);
// The fourth octet of `address` when it lies in `block` ("192.168.1"), spelled either way ("20", "020").
std::optional<int> octetInBlock(const QString& block, const QString& address);

// Creates the log beside the specified tables when the file has none, and fills it for every run
// whose numberofruns differs from what the log last counted (an older file, or sweeps saved by a
// program that does not keep the log): each distinct RunDate of the run's rows not yet logged is
// one sweep. One transaction; nothing is done on a file opened read-only, nor on one without saved runs
// (the first save makes the log there).
void bringSweepLogUpToDate(Database& db);

// Logs one sweep, in the caller's transaction, after its rows went into tblSuccess (making the log
// when the file has none yet).
void logSweep(Database& db, int64_t runNo, const QString& rangeText, const QString& runDate,
              const std::vector<ResultRow>& rows, const SweepFacts& facts);

bool hasSweepLog(Database& db);

// tblSweepLogAddress, beside the log, holds every distinct successIP text of a run's result rows (letter
// for letter) with the rowids of its first and latest row: ordered by FirstRow it is what grouping the
// run's rows in the order of their first row yields. This adds the rows saved since it last looked (in
// the caller's transaction) and tells whether it matches the rows; false when the file has no such
// table or rows were taken away behind its back.
bool addressesUpToDate(Database& db, int64_t runNo);

// The log of the saved run with exactly this range text; nullopt when there is no such run. A file
// without the log (opened read-only) gives a run without logged sweeps.
std::optional<SweepLog> readSweepLog(Database& db, const QString& rangeText);

// One address's answer in each logged sweep of a run, oldest first: what readSweepLog gives for that
// address, without reading the rest of every sweep.
struct AnswersOf {
    int numberofruns = 0;
    std::vector<std::pair<QString, uint16_t>> sweeps; // the sweep's stored date text, the answer
    int notLogged() const { return std::max(0, numberofruns - static_cast<int>(sweeps.size())); }
};

// nullopt when no saved run has exactly this range text; no sweeps on a file without the log.
std::optional<AnswersOf> readAnswersOf(Database& db, const QString& rangeText, const QString& address);

// The log's stored spelling of SweptBy, and back (unknown texts read as Earlier).
QString sweptByKey(SweptBy by);
SweptBy sweptByFromKey(const QString& key);

} // namespace kestrion::db
