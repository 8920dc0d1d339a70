#include "app/ChangeTexts.h"

#include "platform/DateText.h"

#include <QStringList>

namespace kestrion::app {

namespace {

constexpr db::ChangeKind kKinds[] = {db::ChangeKind::New, db::ChangeKind::Back, db::ChangeKind::Gone};

QString kindWord(db::ChangeKind kind) {
    switch (kind) {
    case db::ChangeKind::New:
        return QStringLiteral("new");
    case db::ChangeKind::Back:
        return QStringLiteral("back");
    case db::ChangeKind::Gone:
        break;
    }
    return QStringLiteral("gone");
}

// How many addresses of one kind the notification names before "and N more".
constexpr int kNamed = 8;

} // namespace

QString sweepDateText(const QString& storedDate, const QLocale& locale) {
    return locale.toString(platform::fromStoredDate(storedDate), QStringLiteral("d MMM yyyy HH:mm"));
}

QString changesLine(const db::SweepChanges& changes, const QLocale& locale) {
    QStringList counts;
    for (const db::ChangeKind kind : kKinds) {
        if (const int n = changes.count(kind))
            counts << QString::number(n) + QLatin1Char(' ') + kindWord(kind);
    }
    const QString since = QStringLiteral(" since ") + sweepDateText(changes.earlierDate, locale);
    return counts.isEmpty() ? QStringLiteral("No changes") + since
                            : counts.join(QStringLiteral(", ")) + since;
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
        QString line = kindWord(kind) + QStringLiteral(": ") + addresses.join(QStringLiteral(", "));
        if (more > 0)
            line += QStringLiteral(" and %1 more").arg(more);
        lines << line;
    }
    notice.body = lines.join(QLatin1Char('\n'));
    return notice;
}

} // namespace kestrion::app
