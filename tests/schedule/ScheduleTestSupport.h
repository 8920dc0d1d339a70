#pragma once

#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <functional>
#include <ostream>

namespace kestrion::schedtest {

struct ShownBox {
    QString title;
    QString text;
    platform::MsgButtons buttons;
    platform::MsgIcon icon;
    int defaultAnswer;
};

// Records every box; answers from a script, otherwise with the first button.
class FakeBoxes : public platform::MessageBoxes {
public:
    QList<ShownBox> shown;
    QList<int> answers;
    // Runs while the box is "open" (isShowing() is true then).
    std::function<void(const ShownBox&)> whileOpen;

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons buttons,
                platform::MsgIcon icon, int defaultAnswer) override {
        shown.append({title, text, buttons, icon, defaultAnswer});
        if (whileOpen)
            whileOpen(shown.last());
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == platform::MsgButtons::YesNo ? platform::AnswerYes : platform::AnswerOk;
    }
};

class SetClock : public platform::Clock {
public:
    QDateTime value;
    QDateTime now() const override { return value; }
};

// A fresh copy of the delivered database in a temporary application folder.
class TempDatabase {
public:
    TempDatabase() {
        paths.appFolder = dir.path();
        paths.dataFolder = dir.path();
        QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), paths.database());
        QFile(paths.database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QTemporaryDir dir;
    platform::AppPaths paths;
};

inline QDateTime at(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace kestrion::schedtest

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
