#include "platform/HostInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>

namespace kestrion::platform {

QString SystemHostInfo::hostName() const {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QString();
    return QString::fromLocal8Bit(name);
}

QString SystemHostInfo::localAddress() const {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return QStringLiteral("127.0.0.1");
    QString found;
    for (ifaddrs* ifa = list; ifa && found.isEmpty(); ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(ifa->ifa_flags & IFF_UP) || !(ifa->ifa_flags & IFF_RUNNING) || (ifa->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        auto* sin = reinterpret_cast<sockaddr_in*>(ifa->ifa_addr);
        if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text))
            found = QString::fromLatin1(text);
    }
    freeifaddrs(list);
    return found.isEmpty() ? QStringLiteral("127.0.0.1") : found;
}

} // namespace kestrion::platform
