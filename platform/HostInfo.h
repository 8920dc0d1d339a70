#pragma once

#include <QString>

namespace kestrion::platform {

// The computer's own host name and IPv4 address, as the network layer sees them.
class HostInfo {
public:
    virtual ~HostInfo() = default;
    virtual QString hostName() const = 0;
    // Dotted IPv4 address of the first active non-loopback interface; "127.0.0.1" when there is none.
    virtual QString localAddress() const = 0;
};

class SystemHostInfo final : public HostInfo {
public:
    QString hostName() const override;
    QString localAddress() const override;
};

} // namespace kestrion::platform
