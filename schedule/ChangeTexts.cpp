#include "schedule/ChangeTexts.h"

#include "platform/DateText.h"

#include <QStringList>

namespace kestrion::schedule {

namespace {

constexpr db::ChangeKind kKinds[] = {db::ChangeKind::New, db::ChangeKind::Back, db::ChangeKind::Gone};

// How many addresses of one kind the notification names before "and N more".
constexpr int kNamed = 8;

} // namespace

QString sweepDateText(const QString& storedDate, const QLocale& locale) {
    return locale.toString(platform::fromStoredDate(storedDate), QStringLiteral("d MMM yyyy HH:mm"));
}

QString changeCounts(const db::SweepChanges& changes) {
    QStringList counts;
    for (const db::ChangeKind kind : kKinds) {
        if (const int n = changes.count(kind))
            counts << QString::number(n) + QLatin1Char(' ') + db::changeKindKey(kind);
    }
    return counts.join(QStringLiteral(", "));
}

QString changesLine(const db::SweepChanges& changes, const QLocale& locale) {
    const QString since = QStringLiteral(" since ") + sweepDateText(changes.earlierDate, locale);
    return changes.empty() ? QStringLiteral("No changes") + since : changeCounts(changes) + since;
}

ChangesNotice changesNotice(const QString& range, const db::SweepChanges& changes, const QLocale& locale) {
    ChangesNotice notice;
    notice.summary = QStringLiteral("Kestrion: changes in ") + range;
    QStringList lines{changesLine(changes, locale)};
    for (const db::ChangeKind kind : kKinds) {
        QStringList addresses;
        int more = 0;
        for (const db::AddressChange& change : changes.changes) {
            if (change.kind != kind)
                continue;
            if (addresses.size() < kNamed)
                addresses << change.address;
            else
                ++more;
        }
        if (addresses.isEmpty())
            continue;
        QString line = db::changeKindKey(kind) + QStringLiteral(": ") + addresses.join(QStringLiteral(", "));
        if (more > 0)
            line += QStringLiteral(" and %1 more").arg(more);
        lines << line;
    }
    notice.body = lines.join(QLatin1Char('\n'));
    return notice;
}

} // namespace kestrion::schedule
