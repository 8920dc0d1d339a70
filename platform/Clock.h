#pragma once

#include <QDateTime>

namespace kestrion::platform {

// The current local date and time. Tests hand in a clock they set by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace kestrion::platform
