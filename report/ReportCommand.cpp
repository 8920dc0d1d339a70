#include "report/ReportCommand.h"

#include "db/ReportTables.h"
#include "platform/AppTitle.h"
#include "report/ReportWriter.h"

#include <QCursor>
#include <QGuiApplication>

namespace kestrion::report {

namespace {

// The hourglass for the life of one command, taken back however the command ends.
class Hourglass {
public:
    Hourglass() : shown_(qGuiApp != nullptr) {
        if (shown_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~Hourglass() {
        if (shown_)
            QGuiApplication::restoreOverrideCursor();
    }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    bool shown_;
};

} // namespace

FreeIPReportCommand::FreeIPReportCommand(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                                         platform::MessageBoxes& boxes, platform::Shell& shell,
                                         RunNumberFinder findRunNo, QObject* parent)
    : QObject(parent), paths_(paths), busy_(busy), boxes_(boxes), shell_(shell),
      findRunNo_(std::move(findRunNo)) {}

void FreeIPReportCommand::run(const QString& rangeText) {
    const Hourglass hourglass;
    emit statusText(QStringLiteral("Reading from database..."));
    const std::optional<int16_t> runNo = findRunNo_(rangeText);
    if (!runNo) {
        boxes_.show(
            platform::appTitle() + QStringLiteral(" error."),
            QStringLiteral("Error. No matching record in the database.  Please make sure an IP is selected."),
            platform::MsgButtons::Ok, platform::MsgIcon::None);
        emit statusText(QStringLiteral("Ready."));
        return;
    }
    emit statusText(QStringLiteral("Generating tables..."));
    db::BuildReportTables(paths_, busy_, *runNo);
    emit statusText(QStringLiteral("Preparing report..."));
    WriteFreeIPReport(paths_, busy_, boxes_, shell_);
    emit statusText(QStringLiteral("Ready."));
}

} // namespace kestrion::report
