#pragma once

#include "db/AddressHistory.h"
#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace kestrion::db {

// How often one address answered across the saved sweeps of a run.
struct AddressUsage {
    QString address;
    int sweepsAnswered = 0;
    QDateTime lastAnswered;
    QDateTime firstAnswered;
    QDateTime silentSince; // the first logged sweep after its last answer; invalid when there is none
};

// The saved sweeps of one run, read from the sweep log. `sweeps` counts every save of the range, the
// log's sweeps and those saved before it; an older file opened read-only, without the log, is read
// from tblSuccess, where a sweep is its RunDate and a sweep that found nobody left no row.
struct RunUsage {
    int sweeps = 0; // numberofruns: every save of the range
    int logged = 0; // sweeps the log knows
    QDateTime latestSweep;
    std::vector<AddressUsage> addresses;
};

struct SweepLog;
// The usage of every address that answered in a run's logged sweeps.
RunUsage runUsage(const SweepLog& log);

// nullopt when no saved run has this range text.
std::optional<RunUsage> readRunUsage(const platform::AppPaths& paths, DatabaseBusy& busy,
                                     const QString& rangeText);

// What the Database tab shows of a run: its usage, and the changes of its latest sweep from the one
// before (unset when fewer than two sweeps are logged). One read of the file.
struct RunOverview {
    RunUsage usage;
    std::optional<SweepChanges> latestChanges;
};
std::optional<RunOverview> readRunOverview(const platform::AppPaths& paths, DatabaseBusy& busy,
                                           const QString& rangeText);

// NotInRange: the run's range leaves the address out, so its sweeps never asked it. The report still
// counts such an address as free; only the map tells it apart from one that was asked and was silent.
enum class CellFill { Free, Some, Every, NotInRange };

struct BlockCell {
    QString address;
    int answered = 0;
    QDateTime lastAnswered;
    QDateTime firstAnswered;
    QDateTime silentSince;
    CellFill fill = CellFill::Free;
    bool inLatestSweep = false;
    bool hostAddress = true; // .0 names the network and .255 is its broadcast address
};

// The 256 addresses of a run's block, cell i being the address ending in .i.
struct BlockPicture {
    QString block; // the three fixed octets, "192.168.1"
    int sweeps = 0;
    std::array<BlockCell, 256> cells;
    int count(CellFill fill) const;
};

// The first and last host of a range text "a.b.c.first-last"; the whole block, 0 to 255, when the text
// does not say, so that no address is wrongly taken as left out.
std::pair<int, int> hostsOfRange(const QString& rangeText);

// The block is taken from the range text's first three parts; answers from outside it are left out.
// Addresses outside the range's first and last host that never answered are NotInRange.
BlockPicture blockPicture(const QString& rangeText, const RunUsage& usage);

} // namespace kestrion::db
