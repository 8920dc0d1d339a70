#include "db/BlockUsage.h"

#include "db/RunDatabase.h"
#include "db/SweepLog.h"
#include "platform/DateText.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace kestrion::db {

namespace {

// A file without the log: one grouped query over the run's tblSuccess rows.
std::optional<RunUsage> readResultRows(Database& db, const QString& rangeText) {
    // The left join keeps one row (address NULL) for a saved run without any answer; the window
    // maximum over the groups is the run's latest RunDate, so the table is read once.
    auto usage = db.prepare("SELECT s.successIP, count(s.successIP), max(s.RunDate), r.numberofruns, "
                            "max(max(s.RunDate)) OVER () "
                            "FROM tblSavedRuns r LEFT JOIN tblSuccess s ON s.RunNo = r.RunNo "
                            "WHERE r.runip = ?1 GROUP BY s.successIP;");
    usage.bind(1, rangeText);
    std::optional<RunUsage> result;
    // A sweep's rows share one date: each distinct text is converted once.
    QHash<QString, QDateTime> dates;
    const auto dateOf = [&dates](const QString& text) {
        auto known = dates.constFind(text);
        if (known == dates.constEnd())
            known = dates.insert(text, platform::fromStoredDate(text));
        return *known;
    };
    while (usage.step()) {
        if (!result) {
            result.emplace();
            result->sweeps = static_cast<int>(usage.intAt(3));
            if (!usage.isNullAt(4))
                result->latestSweep = dateOf(usage.textAt(4));
        }
        if (usage.isNullAt(0))
            continue;
        result->addresses.push_back({usage.textAt(0),
                                     static_cast<int>(usage.intAt(1)),
                                     platform::fromStoredDate(usage.textAt(2)),
                                     {},
                                     {}});
    }
    return result;
}

} // namespace

RunUsage runUsage(const SweepLog& log) {
    RunUsage usage;
    usage.sweeps = log.numberofruns;
    usage.logged = static_cast<int>(log.sweeps.size());
    if (log.sweeps.empty())
        return usage;
    usage.latestSweep = platform::fromStoredDate(log.sweeps.back().date);

    // By sweep index: the first and the latest answer; the address has been silent since the sweep
    // after its latest answer, if there is one. A year holds 8,760 sweeps of 256 answers each, so
    // the loop keeps no more than that.
    struct Seen {
        int count = 0;
        int first = -1;
        int last = -1;
    };
    std::array<Seen, 256> block{};
    std::vector<std::pair<QString, Seen>> others;
    QHash<QString, size_t> otherAt;
    const int sweeps = static_cast<int>(log.sweeps.size());
    for (int i = 0; i < sweeps; ++i) {
        const LoggedSweep& sweep = log.sweeps[static_cast<size_t>(i)];
        for (size_t octet = 0; octet < 256; ++octet) {
            if (sweep.answers[octet] == kSilent)
                continue;
            Seen& seen = block[octet];
            if (seen.first < 0)
                seen.first = i;
            seen.last = i;
            ++seen.count;
        }
        for (const auto& [address, time] : sweep.others) {
            auto at = otherAt.constFind(address);
            if (at == otherAt.constEnd()) {
                // First heard of in this sweep: it answered, whatever the time says.
                at = otherAt.insert(address, others.size());
                others.emplace_back(address, Seen{0, i, -1});
            } else if (time == kSilent) {
                continue;
            }
            Seen& seen = others[*at].second;
            if (seen.last == i)
                continue; // an address counts once per sweep
            seen.last = i;
            ++seen.count;
        }
    }
    // Most addresses share their first and latest sweep: each date is converted once.
    QHash<int, QDateTime> dates;
    const auto dateOf = [&](int index) {
        auto known = dates.constFind(index);
        if (known == dates.constEnd())
            known =
                dates.insert(index, platform::fromStoredDate(log.sweeps[static_cast<size_t>(index)].date));
        return *known;
    };
    const auto add = [&](const QString& address, const Seen& seen) {
        if (seen.count == 0)
            return;
        usage.addresses.push_back({address, seen.count, dateOf(seen.last), dateOf(seen.first),
                                   seen.last + 1 < sweeps ? dateOf(seen.last + 1) : QDateTime()});
    };
    for (size_t octet = 0; octet < 256; ++octet)
        add(log.block + QLatin1Char('.') + QString::number(octet), block[octet]);
    for (const auto& [address, seen] : others)
        add(address, seen);
    return usage;
}

std::optional<RunUsage> readRunUsage(const platform::AppPaths& paths, DatabaseBusy& busy,
                                     const QString& rangeText) {
    RunDatabase run(paths, busy);
    if (!hasSweepLog(run.db()))
        return readResultRows(run.db(), rangeText);
    const std::optional<SweepLog> log = readSweepLog(run.db(), rangeText);
    if (!log)
        return std::nullopt;
    return runUsage(*log);
}

std::optional<RunOverview> readRunOverview(const platform::AppPaths& paths, DatabaseBusy& busy,
                                           const QString& rangeText) {
    RunDatabase run(paths, busy);
    if (!hasSweepLog(run.db())) {
        std::optional<RunUsage> usage = readResultRows(run.db(), rangeText);
        if (!usage)
            return std::nullopt;
        return RunOverview{std::move(*usage), std::nullopt};
    }
    const std::optional<SweepLog> log = readSweepLog(run.db(), rangeText);
    if (!log)
        return std::nullopt;
    return RunOverview{runUsage(*log), latestChanges(*log)};
}

int BlockPicture::count(CellFill fill) const {
    return static_cast<int>(
        std::count_if(cells.begin(), cells.end(), [fill](const BlockCell& c) { return c.fill == fill; }));
}

std::pair<int, int> hostsOfRange(const QString& rangeText) {
    const QStringList ends = rangeText.section(QLatin1Char('.'), 3).split(QLatin1Char('-'));
    bool firstOk = false, lastOk = false;
    const int first = ends.value(0).toInt(&firstOk);
    const int last = ends.value(1).toInt(&lastOk);
    if (ends.size() != 2 || !firstOk || !lastOk)
        return {0, 255};
    return {first, last};
}

BlockPicture blockPicture(const QString& rangeText, const RunUsage& usage) {
    BlockPicture picture;
    picture.block = rangeText.split(QLatin1Char('.')).mid(0, 3).join(QLatin1Char('.'));
    picture.sweeps = usage.sweeps;
    for (int i = 0; i < 256; ++i) {
        BlockCell& cell = picture.cells[static_cast<size_t>(i)];
        cell.address = picture.block + QLatin1Char('.') + QString::number(i);
        cell.hostAddress = i != 0 && i != 255;
    }
    const QString prefix = picture.block + QLatin1Char('.');
    for (const AddressUsage& a : usage.addresses) {
        if (!a.address.startsWith(prefix))
            continue;
        bool ok = false;
        const int octet = a.address.mid(prefix.size()).toInt(&ok);
        if (!ok || octet < 0 || octet > 255)
            continue;
        BlockCell& cell = picture.cells[static_cast<size_t>(octet)];
        // Both spellings of one address ("20" and "020") are one cell.
        cell.answered = std::min(cell.answered + a.sweepsAnswered, usage.sweeps);
        if (!cell.lastAnswered.isValid() || a.lastAnswered > cell.lastAnswered) {
            cell.lastAnswered = a.lastAnswered;
            cell.silentSince = a.silentSince;
        }
        if (!cell.firstAnswered.isValid() ||
            (a.firstAnswered.isValid() && a.firstAnswered < cell.firstAnswered))
            cell.firstAnswered = a.firstAnswered;
    }
    const auto [firstHost, lastHost] = hostsOfRange(rangeText);
    for (int i = 0; i < 256; ++i) {
        BlockCell& cell = picture.cells[static_cast<size_t>(i)];
        if (cell.answered == 0)
            cell.fill = i >= firstHost && i <= lastHost ? CellFill::Free : CellFill::NotInRange;
        else
            cell.fill = cell.answered >= usage.sweeps ? CellFill::Every : CellFill::Some;
        cell.inLatestSweep =
            cell.answered > 0 && usage.latestSweep.isValid() && cell.lastAnswered == usage.latestSweep;
    }
    return picture;
}

} // namespace kestrion::db
