#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace kestrion::platform {

// The program-wide values, owned by the main window and handed to the modules that need them.
struct AppState {
    // Stored options (read at every initialisation of the main window).
    int16_t Timeout = 3000;
    int16_t PacketSize = 64;
    bool StartWithLocalAddress = true;

    // The sweep and its range.
    QString StopRequest = QStringLiteral("False"); // "False", "Cancel" or "Exit"
    bool ScheduledRunActive = false;
    bool EntryError = false;
    QString Octet1, Octet2, Octet3;
    int16_t FirstHost = 0;
    int16_t LastHost = 0;
    QString CurrentAddress;
    int16_t PercentDone = 0;
    bool SweepRunning = false; // true from the start of PingRange until it returns

    // Schedules.
    std::optional<QDateTime> NextSchedDate; // empty: no next schedule
    QString NextSchedIP;
    QDateTime NewSchedDate;
    QString NewSchedIP;

    // Depth of database operations in progress; a scheduled run waits while it is above zero.
    int DatabaseBusy = 0;
};

} // namespace kestrion::platform
