#pragma once

#include "db/Database.h"
#include "platform/AppPaths.h"
#include "platform/AppState.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace kestrion::report::test {

struct ShownBox {
    QString title;
    QString text;
    platform::MsgButtons buttons;
    platform::MsgIcon icon;
};

class FakeMessageBoxes final : public platform::MessageBoxes {
public:
    std::vector<ShownBox> shown;

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons buttons,
                platform::MsgIcon icon, int) override {
        shown.push_back({title, text, buttons, icon});
        return platform::AnswerOk;
    }
};

class FakeShell final : public platform::Shell {
public:
    QStringList opened;
    int open(const QString& fileOrAddress) override {
        opened.append(fileOrAddress);
        return 42;
    }
};

// A data folder holding a fresh copy of the delivered database, filled by the test with SQL.
class ReportFolder {
public:
    ReportFolder();
    platform::AppPaths paths;
    platform::AppState state;

    void exec(const QString& sql);
    QStringList column(const QString& sql);
    void addRun(int runNo, const QString& runip, const QString& created, int numberOfRuns);
    // One saved sweep of the run: one tblSuccess row per address.
    void addSweep(int runNo, const QStringList& addresses);
    QString reportPath() const { return paths.reportFile(); }
    QByteArray reportBytes() const;

private:
    QTemporaryDir dir_;
};

// The data folder read-only for this process, root included. Root ignores file modes, so it gets
// a read-only bind mount in a private mount namespace of this process; nothing leaks to the machine.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    // Empty when the folder is read-only; otherwise why it could not be made so.
    QString failure;

private:
    QString folder_;
    bool mounted_ = false;
    bool chmodded_ = false;
};

QStringList addressesOf(const QString& prefix, int first, int last);

} // namespace kestrion::report::test
