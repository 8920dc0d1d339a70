#include "db/AddressHistory.h"

#include <QSet>
#include <algorithm>
#include <bitset>

namespace kestrion::db {

namespace {

std::optional<uint32_t> knownTime(uint16_t answer) {
    if (answer == kSilent || answer == kTimeUnknown)
        return std::nullopt;
    return answer;
}

// The history from each sweep's date and answer, oldest first: `answers(note)` calls note(date, answer)
// once per sweep.
template <class Answers>
AddressHistory historyFrom(const QString& address, int logged, int notLogged, Answers&& answers) {
    AddressHistory history;
    history.address = address;
    history.logged = logged;
    history.notLogged = notLogged;
    history.sweeps.reserve(static_cast<size_t>(logged));
    std::vector<uint32_t> times;
    answers([&](const QString& date, uint16_t answer) {
        HistoryEntry& entry = history.sweeps.emplace_back();
        entry.date = date;
        entry.answered = answer != kSilent;
        entry.roundTripTime = knownTime(answer);
        if (!entry.answered) {
            if (!history.lastSeen.isNull() && history.silentSince.isNull())
                history.silentSince = date;
            ++history.sweepsSinceLastAnswer;
            return;
        }
        ++history.answeredIn;
        if (history.firstSeen.isNull())
            history.firstSeen = date;
        history.lastSeen = date;
        history.silentSince.clear();
        history.sweepsSinceLastAnswer = 0;
        history.lastTime = entry.roundTripTime;
        if (entry.roundTripTime)
            times.push_back(*entry.roundTripTime);
    });
    if (history.lastSeen.isNull())
        history.sweepsSinceLastAnswer = history.logged;
    if (!times.empty()) {
        const auto middle = times.begin() + static_cast<std::ptrdiff_t>((times.size() - 1) / 2);
        std::nth_element(times.begin(), middle, times.end());
        history.medianTime = *middle;
    }
    return history;
}

} // namespace

AddressHistory addressHistory(const SweepLog& log, const QString& address) {
    const std::optional<int> octet = octetInBlock(log.block, address);
    return historyFrom(address, static_cast<int>(log.sweeps.size()), log.notLogged(), [&](auto&& note) {
        for (const LoggedSweep& sweep : log.sweeps)
            note(sweep.date,
                 octet ? sweep.answers[static_cast<size_t>(*octet)] : sweep.answerOf(log.block, address));
    });
}

std::optional<AddressHistory> readAddressHistory(Database& db, const QString& rangeText,
                                                 const QString& address) {
    const std::optional<AnswersOf> answers = readAnswersOf(db, rangeText, address);
    if (!answers)
        return std::nullopt;
    return historyFrom(address, static_cast<int>(answers->sweeps.size()), answers->notLogged(),
                       [&](auto&& note) {
                           for (const auto& [date, answer] : answers->sweeps)
                               note(date, answer);
                       });
}

QString changeKindKey(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::New:
        return QStringLiteral("new");
    case ChangeKind::Back:
        return QStringLiteral("back");
    case ChangeKind::Gone:
        break;
    }
    return QStringLiteral("gone");
}

int SweepChanges::count(ChangeKind kind) const {
    return static_cast<int>(std::count_if(changes.begin(), changes.end(),
                                          [kind](const AddressChange& c) { return c.kind == kind; }));
}

SweepChanges changesBetween(const SweepLog& log, size_t earlier, size_t later) {
    SweepChanges result;
    if (earlier >= later || later >= log.sweeps.size())
        return result;
    const LoggedSweep& before = log.sweeps[earlier];
    const LoggedSweep& after = log.sweeps[later];
    result.earlierDate = before.date;
    result.laterDate = after.date;

    // Who answered in any sweep before the later one: tells "new" from "back".
    std::bitset<256> seenBefore;
    QSet<QString> othersSeenBefore;
    for (size_t i = 0; i < later; ++i) {
        const LoggedSweep& sweep = log.sweeps[i];
        for (size_t octet = 0; octet < 256; ++octet)
            if (sweep.answers[octet] != kSilent)
                seenBefore.set(octet);
        for (const auto& other : sweep.others)
            othersSeenBefore.insert(other.first);
    }

    const auto judge = [&result](const QString& address, uint16_t was, uint16_t now, bool seen) {
        if (was != kSilent && now == kSilent)
            result.changes.push_back({ChangeKind::Gone, address, knownTime(was)});
        else if (was == kSilent && now != kSilent)
            result.changes.push_back({seen ? ChangeKind::Back : ChangeKind::New, address, knownTime(now)});
    };
    for (size_t octet = 0; octet < 256; ++octet)
        judge(log.block + QLatin1Char('.') + QString::number(octet), before.answers[octet],
              after.answers[octet], seenBefore.test(octet));

    QSet<QString> judged;
    for (const auto& [address, time] : after.others) {
        judged.insert(address);
        judge(address, before.answerOf(log.block, address), time, othersSeenBefore.contains(address));
    }
    for (const auto& [address, time] : before.others)
        if (!judged.contains(address))
            judge(address, time, kSilent, true);
    return result;
}

std::optional<SweepChanges> latestChanges(const SweepLog& log, const QString& since) {
    if (log.sweeps.size() < 2)
        return std::nullopt;
    const size_t later = log.sweeps.size() - 1;
    size_t earlier = later - 1;
    if (!since.isNull()) {
        // The sweeps are in date order: the last one at or before `since`.
        const auto after =
            std::upper_bound(log.sweeps.begin(), log.sweeps.end(), since,
                             [](const QString& date, const LoggedSweep& s) { return date < s.date; });
        if (after == log.sweeps.begin())
            return std::nullopt;
        earlier = static_cast<size_t>(std::distance(log.sweeps.begin(), after) - 1);
        if (earlier >= later)
            return std::nullopt;
    }
    return changesBetween(log, earlier, later);
}

} // namespace kestrion::db
