#pragma once

#include <QString>

namespace kestrion::platform {

// The part of a dotted address before its last dot: the three fixed octets of its block
// (192.168.1.25 gives 192.168.1). The last character never counts as the dot, so a text ending
// in a dot also loses the octet before it (1.2.3. gives 1.2); a text without a dot gives "".
QString NetworkPrefix(const QString& address);

} // namespace kestrion::platform
