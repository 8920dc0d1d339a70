#pragma once

#include <QString>

namespace kestrion::platform {

// The desktop shell's "open" verb: a file opens in its default viewer, a web address in the browser.
class Shell {
public:
    virtual ~Shell() = default;
    // Returns a value above 32 on success, as the shell's open call does; callers ignore it.
    virtual int open(const QString& fileOrAddress) = 0;
};

// Opens through the desktop (xdg-open).
class DesktopShell final : public Shell {
public:
    int open(const QString& fileOrAddress) override;
};

} // namespace kestrion::platform
