#pragma once

#include "platform/OptionsStore.h"

#include <QString>
#include <cstdint>

namespace kestrion::sweep {

// The stored options, read at every initialisation of the main window.
using SweepOptions = platform::Options;

// The sweep and its range, as the Ping button, the sweep and the scheduled run share them.
struct SweepState {
    QString StopRequest = QStringLiteral("False"); // "False", "Cancel" or "Exit"
    bool ScheduledRunActive = false;               // no question is asked, no save confirmed
    bool EntryError = false;
    QString Octet1, Octet2, Octet3;
    int16_t FirstHost = 0;
    int16_t LastHost = 0;
    QString CurrentAddress;
    int16_t PercentDone = 0;
    bool SweepRunning = false; // true from the start of PingRange until it returns
};

} // namespace kestrion::sweep
