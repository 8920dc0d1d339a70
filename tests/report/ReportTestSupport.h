#pragma once

#include "tests/support/fakes/AppFolder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrion::test {

// An application folder whose database the test fills with saved runs.
class ReportFolder : public AppFolder {
public:
    void addRun(int runNo, const QString& runip, const QString& created, int numberOfRuns);
    // One saved sweep of the run: one tblSuccess row per address.
    void addSweep(int runNo, const QStringList& addresses);
    QString reportPath() const { return file("IPReport.txt"); }
    QByteArray reportBytes() const { return bytes("IPReport.txt"); }
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

} // namespace kestrion::test
