#pragma once

#include <QString>

namespace kestrion::platform {

// A desktop notification: a short summary and a body of a few lines.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // False when no notification service took it (none runs, or it failed); `why` then says so.
    virtual bool notify(const QString& summary, const QString& body, QString* why) = 0;
};

} // namespace kestrion::platform
