#pragma once

#include "db/Database.h"
#include "platform/AppPaths.h"
#include "platform/AppState.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <vector>

namespace kestrion::test {

struct ShownBox {
    QString title;
    QString text;
    platform::MsgButtons buttons;
    platform::MsgIcon icon;
    int defaultAnswer;
};

// Records every box and answers from a script (OK, or the first button, when the script is empty).
class FakeMessageBoxes final : public platform::MessageBoxes {
public:
    std::vector<ShownBox> shown;
    std::deque<int> answers;

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons buttons,
                platform::MsgIcon icon, int defaultAnswer) override {
        shown.push_back({title, text, buttons, icon, defaultAnswer});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == platform::MsgButtons::YesNo ? platform::AnswerYes : platform::AnswerOk;
    }
};

class ManualClock final : public platform::Clock {
public:
    QDateTime current = QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59));
    QDateTime now() const override { return current; }
};

// A temporary application folder holding a copy of the delivered database.
class AppFolder {
public:
    AppFolder() {
        paths.appFolder = dir.path();
        paths.dataFolder = dir.path();
        QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), paths.database());
        QFile(paths.database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray bytes(const char* name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // One number from a query on the given file (the database unless named).
    long long count(const char* sql, const char* name = "KRdb.mdb") const {
        db::Database database(file(name));
        auto statement = database.prepare(sql);
        return statement.step() ? statement.intAt(0) : -1;
    }

    QTemporaryDir dir;
    platform::AppPaths paths;
    platform::AppState state;
};

} // namespace kestrion::test
