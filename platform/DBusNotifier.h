#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <chrono>
#include <optional>

namespace kestrion::platform {

// Notifications through the freedesktop.org notification service (org.freedesktop.Notifications) on
// the session bus, or on the bus at `busAddress` (a test's own). The bus is joined at the first
// notification, not before: a program that never notifies never touches it.
class DBusNotifier final : public DesktopNotifier {
public:
    explicit DBusNotifier(QString busAddress = QString(),
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    ~DBusNotifier() override;
    DBusNotifier(const DBusNotifier&) = delete;
    DBusNotifier& operator=(const DBusNotifier&) = delete;

    bool notify(const QString& summary, const QString& body, QString* why) override;

private:
    QString busAddress_;
    std::chrono::milliseconds timeout_;
    QString connectionName_;
    std::optional<QDBusConnection> connection_;
};

} // namespace kestrion::platform
