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
                                         RunNumberFinder findRunNo, StatusPanel status)
    : paths_(paths), busy_(busy), boxes_(boxes), shell_(shell), findRunNo_(std::move(findRunNo)),
      status_(std::move(status)) {}

void FreeIPReportCommand::run(const QString& rangeText) {
    const Hourglass hourglass;
    status_(QStringLiteral("Reading from database..."));
    const std::optional<int16_t> runNo = findRunNo_(rangeText);
    if (!runNo) {
        boxes_.show(
            platform::appTitle() + QStringLiteral(" error."),
            QStringLiteral("Error. No matching record in the database.  Please make sure an IP is selected."),
            platform::MsgButtons::Ok, platform::MsgIcon::None);
        status_(QStringLiteral("Ready."));
        return;
    }
    status_(QStringLiteral("Generating tables..."));
    db::BuildReportTables(paths_, busy_, *runNo);
    status_(QStringLiteral("Preparing report..."));
    WriteFreeIPReport(paths_, busy_, boxes_, shell_);
    status_(QStringLiteral("Ready."));
}

} // namespace kestrion::report
