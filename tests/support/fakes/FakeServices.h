#pragma once

#include "platform/Clock.h"
#include "platform/DesktopNotifier.h"
#include "platform/HostInfo.h"
#include "platform/Shell.h"

#include <QStringList>
#include <functional>
#include <utility>

namespace kestrion::test {

// Tells the time it is set to.
class FakeClock final : public platform::Clock {
public:
    FakeClock() = default;
    explicit FakeClock(QDateTime at) : time(std::move(at)) {}
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime(QDate(2026, 3, 14), QTime(9, 30));
};

// A machine whose name and address the test sets; `onLookup` runs inside each look-up, so a test can
// see what the window shows while it waits for the answer.
class FakeHostInfo final : public platform::HostInfo {
public:
    QString hostName() const override {
        if (onLookup)
            onLookup();
        return name;
    }
    QString localAddress() const override {
        if (onLookup)
            onLookup();
        return address;
    }
    QString name = QStringLiteral("lab7");
    QString address = QStringLiteral("10.0.0.5");
    std::function<void()> onLookup;
};

// Records what was handed to the shell instead of opening it.
class FakeShell final : public platform::Shell {
public:
    int open(const QString& fileOrAddress) override {
        opened << fileOrAddress;
        if (onOpen)
            onOpen(fileOrAddress);
        return result;
    }
    QStringList opened;
    int result = 42;
    std::function<void(const QString&)> onOpen;
};

// Takes every notification (or, unavailable, refuses each as a desktop without the service does).
class FakeNotifier final : public platform::DesktopNotifier {
public:
    bool notify(const QString& summary, const QString& body, QString* why) override {
        if (!available) {
            if (why != nullptr)
                *why = QStringLiteral("no desktop notification service");
            return false;
        }
        shown << summary + QLatin1Char('\n') + body;
        return true;
    }
    QStringList shown;
    bool available = true;
};

} // namespace kestrion::test
