#pragma once

#include <QString>
#include <cstdint>

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

// modMain's OpenWithShell: hands a file or web address to the shell's open verb and returns the shell's
// result unchanged. Only the verb "open" and the address mean something here; owner, parameters,
// directory and show command are kept so that callers read as the rest of the program expects.
inline int32_t OpenWithShell(Shell& shell, int32_t /*owner*/, const QString& /*verb*/, const QString& file,
                             const QString& /*parameters*/, const QString& /*directory*/,
                             int32_t /*showCommand*/) {
    return shell.open(file);
}

} // namespace kestrion::platform
