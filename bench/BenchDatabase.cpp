#include "bench/BenchDatabase.h"

#include "db/CompactAndBackup.h"
#include "db/Database.h"
#include "db/SavedRuns.h"
#include "db/SweepLog.h"
#include "platform/DateText.h"

#include <random>
#include <vector>

namespace kestrion::bench {

void fillTwoFullRuns(const platform::AppPaths& paths, int sweeps) {
    db::Database db(paths.database());
    db::Transaction tx(db);
    db.exec("INSERT INTO tblSavedRuns VALUES (1, '10.20.30.1-254', '2026-03-14 09:26:53', 50);"
            "INSERT INTO tblSavedRuns VALUES (2, '10.20.31.1-254', '2026-03-14 09:26:53', 50);");
    auto add = db.prepare("INSERT INTO tblSuccess VALUES (?1, ?2, ?3, '1');");
    for (int runNo : {1, 2})
        for (int sweep = 0; sweep < sweeps; ++sweep)
            for (int octet = 1; octet <= 254; ++octet) {
                add.bind(1, int64_t{runNo})
                    .bind(2, QStringLiteral("2026-03-14 %1:%2:00")
                                 .arg(sweep / 60, 2, 10, QLatin1Char('0'))
                                 .arg(sweep % 60, 2, 10, QLatin1Char('0')))
                    .bind(3, QStringLiteral("10.20.%1.%2").arg(29 + runNo).arg(octet));
                add.step();
                add.reset();
            }
    tx.commit();
}

namespace {

constexpr int kHours = 24 * 365;
constexpr int kFirstLaptop = 248; // .248 to .254 answer mostly in working hours
constexpr int kWanderEvery = 20;  // .20, .40, ... .240 are gone for a week or two once in the year

// Whether `octet` answers in the sweep of hour `hour` (0 = the first sweep of the year).
bool answers(int octet, int hour, const QDateTime& at, std::mt19937& random, const std::vector<int>& goneFrom,
             const std::vector<int>& goneHours) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (octet % kWanderEvery == 0) {
        const auto which = static_cast<size_t>(octet / kWanderEvery - 1);
        if (hour >= goneFrom[which] && hour < goneFrom[which] + goneHours[which])
            return false;
    }
    if (octet >= kFirstLaptop) {
        const int day = at.date().dayOfWeek();
        const bool working = day <= 5 && at.time().hour() >= 8 && at.time().hour() < 19;
        return chance(random) < (working ? 0.9 : 0.3);
    }
    return chance(random) < 0.995;
}

} // namespace

YearOfSweeps fillYearOfSweeps(const platform::AppPaths& paths) {
    YearOfSweeps made;
    made.rangeText = QStringLiteral("10.20.30.1-254");
    made.sweeps = kHours;
    const QDateTime first(QDate(2025, 12, 9), QTime(10, 0, 20));
    std::mt19937 random(20261209);
    std::vector<int> goneFrom, goneHours;
    for (int octet = kWanderEvery; octet < kFirstLaptop; octet += kWanderEvery) {
        goneFrom.push_back(static_cast<int>(random() % (kHours - 24 * 14)));
        goneHours.push_back(24 * (7 + static_cast<int>(random() % 8)));
    }
    {
        db::Database db(paths.database());
        db::Transaction tx(db);
        auto create = db.prepare("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate, numberofruns) "
                                 "VALUES (1, ?1, ?2, 0);");
        create.bind(1, made.rangeText).bind(2, platform::toStoredDate(first));
        create.step();
        auto count = db.prepare("UPDATE tblSavedRuns SET numberofruns = numberofruns + 1 WHERE RunNo = 1;");
        auto append = db.prepare(
            "INSERT INTO tblSuccess (RunNo, RunDate, successIP, SuccessRTT) VALUES (1, ?1, ?2, ?3);");
        QStringList addresses;
        for (int octet = 0; octet <= 255; ++octet)
            addresses.append(QStringLiteral("10.20.30.%1").arg(octet));
        std::vector<db::ResultRow> rows;
        for (int hour = 0; hour < kHours; ++hour) {
            const QDateTime at = first.addSecs(3600LL * hour);
            const QString runDate = platform::toStoredDate(platform::toWholeMinute(at));
            rows.clear();
            for (int octet = 1; octet <= 254; ++octet)
                if (answers(octet, hour, at, random, goneFrom, goneHours))
                    rows.push_back(
                        {addresses[octet], static_cast<uint32_t>(random() % 8 + (octet % 5 == 0 ? 20 : 0))});
            count.step();
            count.reset();
            for (const db::ResultRow& row : rows) {
                append.bind(1, runDate).bind(2, row.address).bind(3, QString::number(row.roundTripTime));
                append.step();
                append.reset();
            }
            db::logSweep(db, 1, made.rangeText, runDate, rows, {db::SweptBy::Schedule, 2000});
            made.rows += static_cast<long long>(rows.size());
            made.lastSweep = at;
        }
        tx.commit();
    }
    db::CompactAndBackup(paths);
    return made;
}

} // namespace kestrion::bench
