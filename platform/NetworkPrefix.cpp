#include "platform/NetworkPrefix.h"

namespace kestrion::platform {

QString NetworkPrefix(const QString& address) {
    if (address.size() < 2)
        return {};
    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'), address.size() - 2);
    return dot < 0 ? QString() : address.left(dot);
}

} // namespace kestrion::platform
