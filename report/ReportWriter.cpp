#include "report/ReportWriter.h"

#include "db/ReportTables.h"
#include "platform/AppTitle.h"
#include "platform/DateText.h"
#include "report/ReportFile.h"

#include <QFile>
#include <optional>

namespace kestrion::report {

namespace {

const QString kHyphens = QString(68, QLatin1Char('-'));

bool canBeRead(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

void appendLine(QByteArray& out, const QString& line) {
    out.append(line.toLocal8Bit());
    out.append("\r\n");
}

void appendAddressLines(QByteArray& out, const QStringList& addresses) {
    for (qsizetype i = 0; i < addresses.size(); i += 3) {
        const QString second = i + 1 < addresses.size() ? addresses[i + 1] : QString();
        const QString third = i + 2 < addresses.size() ? addresses[i + 2] : QString();
        appendLine(out, PadRight(addresses[i], 20) + PadRight(second, 20) + third);
    }
}

} // namespace

QString PadRight(const QString& text, int16_t width) {
    if (text.size() > width)
        return text;
    return text + QString(width - text.size() + 1, QLatin1Char(' '));
}

bool FileExists(const platform::AppPaths& paths, const QString& name) {
    return canBeRead(paths.dataFolder + name);
}

QByteArray FormatFreeIPReport(const ReportHeading& heading, const QStringList& freeAddresses,
                              const QStringList& usedAddresses) {
    const QString indent(29, QLatin1Char(' '));
    QByteArray out;
    appendLine(out, QString());
    appendLine(out, platform::appTitle() + QStringLiteral(" Free IP Report"));
    appendLine(out, QString(23, QLatin1Char('=')));
    appendLine(out, QString());
    appendLine(out, indent + QStringLiteral("IP Address:     ") + heading.runip);
    appendLine(out, indent + QStringLiteral("Run Created:    ") + heading.runCreated);
    appendLine(out, indent + QStringLiteral("Number of Runs: ") + heading.numberOfRuns);
    appendLine(out, kHyphens);
    appendLine(out, QStringLiteral("Free Addresses (never returned a ping in any run) - ") +
                        QString::number(freeAddresses.size()) + QStringLiteral(" addresses"));
    appendLine(out, QString());
    appendAddressLines(out, freeAddresses);
    appendLine(out, kHyphens);
    appendLine(out, QStringLiteral("Used Addresses (returned at least one ping) - ") +
                        QString::number(usedAddresses.size()) + QStringLiteral(" addresses"));
    appendLine(out, QString());
    appendAddressLines(out, usedAddresses);
    return out;
}

QString noDataFoundText() {
    return QStringLiteral("No data found.  Please make sure there are valid saved runs for this IP.");
}

std::optional<QByteArray> ReadFreeIPReport(const platform::AppPaths& paths, db::DatabaseBusy& busy) {
    const std::optional<db::ReportRows> rows = db::ReadReportRows(paths, busy);
    if (!rows)
        return std::nullopt;
    const QDateTime created = platform::fromStoredDate(rows->runCreateDate);
    const ReportHeading heading{rows->runIP,
                                created.isValid() ? platform::generalDateText(created) : rows->runCreateDate,
                                rows->numberOfRuns};
    return FormatFreeIPReport(heading, rows->freeAddresses, rows->usedAddresses);
}

bool WriteFreeIPReport(const platform::AppPaths& paths, db::DatabaseBusy& busy, platform::MessageBoxes& boxes,
                       platform::Shell& shell) {
    const std::optional<QByteArray> content = ReadFreeIPReport(paths, busy);
    if (!content) {
        boxes.show(QStringLiteral("Data Not Found"), noDataFoundText(), platform::MsgButtons::Ok,
                   platform::MsgIcon::None);
        return false;
    }
    const QString path = paths.reportFile();
    ReplaceOwnFile(path, *content);
    platform::OpenWithShell(shell, 0, QStringLiteral("open"), path, QString(), QString(), 1);
    return true;
}

} // namespace kestrion::report
