#pragma once

// Minimal stand-ins for the platform services the main window is built with.
#include "platform/Clock.h"
#include "platform/EchoService.h"
#include "platform/HostInfo.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"
#include "platform/com/Com.h"

#include <QStringList>
#include <functional>

namespace kestrion::test {

class FakeEcho final : public platform::EchoService {
public:
    platform::EchoOpenResult open() override { return {nullptr, "no echo in this test"}; }
};

class FakeBoxes final : public platform::MessageBoxes {
public:
    QStringList shown; // "title|text"

protected:
    int present(const QString& title, const QString& text, platform::MsgButtons, platform::MsgIcon,
                int) override {
        shown << title + QLatin1Char('|') + text;
        return platform::AnswerOk;
    }
};

class FakeClock final : public platform::Clock {
public:
    QDateTime time = QDateTime(QDate(2026, 3, 14), QTime(9, 30));
    QDateTime now() const override { return time; }
};

// A machine whose name and address the test sets; `onLookup` runs inside each look-up.
class FakeHost final : public platform::HostInfo {
public:
    QString name = QStringLiteral("lab7");
    QString address = QStringLiteral("10.0.0.5");
    std::function<void()> onLookup;
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
};

class FakeShell final : public platform::Shell {
public:
    QStringList opened;
    int open(const QString& fileOrAddress) override {
        opened << fileOrAddress;
        return 42;
    }
};

class FakeComponents final : public com::ComponentFactory {
public:
    com::HRESULT createInstance(const com::GUID&, const com::GUID&, void**) override {
        return com::REGDB_E_CLASSNOTREG;
    }
};

} // namespace kestrion::test
