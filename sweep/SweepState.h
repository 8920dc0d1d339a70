#pragma once

#include <cstdint>

namespace kestrion::sweep {

// The stored options, read at every initialisation of the main window.
struct SweepOptions {
    int16_t Timeout = 3000;
    int16_t PacketSize = 64;
    bool StartWithLocalAddress = true;
};

} // namespace kestrion::sweep
