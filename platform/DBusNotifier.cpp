#include "platform/DBusNotifier.h"

#include "platform/AppTitle.h"

#include <QDBusMessage>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>

namespace kestrion::platform {

DBusNotifier::DBusNotifier(QString busAddress, std::chrono::milliseconds timeout)
    : busAddress_(std::move(busAddress)), timeout_(timeout),
      connectionName_(QStringLiteral("kestrion-notifier-") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

DBusNotifier::~DBusNotifier() {
    if (connection_ && !busAddress_.isEmpty()) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

bool DBusNotifier::notify(const QString& summary, const QString& body, QString* why) {
    const auto refused = [why](const QString& reason) {
        if (why != nullptr)
            *why = reason;
        return false;
    };
    if (!connection_)
        connection_ = busAddress_.isEmpty() ? QDBusConnection::sessionBus()
                                            : QDBusConnection::connectToBus(busAddress_, connectionName_);
    if (!connection_->isConnected())
        return refused(QStringLiteral("no desktop session bus"));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
    call << appTitle() << static_cast<uint>(0) << QString() << summary << body << QStringList()
         << QVariantMap() << -1;
    // Without a service on the bus the answer is an error at once; a service that hangs is waited for
    // only briefly, so the window never freezes on it.
    const QDBusMessage reply = connection_->call(call, QDBus::Block, static_cast<int>(timeout_.count()));
    if (reply.type() == QDBusMessage::ErrorMessage)
        return refused(reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
                           ? QStringLiteral("no desktop notification service")
                           : QStringLiteral("the notification service failed: ") + reply.errorMessage());
    return true;
}

} // namespace kestrion::platform
