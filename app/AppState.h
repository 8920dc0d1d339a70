#pragma once

#include "db/DatabaseBusy.h"
#include "schedule/ScheduleState.h"
#include "sweep/SweepState.h"

namespace kestrion::app {

// The program-wide values, owned by the main window; each module is handed only its part.
struct AppState {
    sweep::SweepOptions options;
    schedule::ScheduleState schedule;
    db::DatabaseBusy database;
};

} // namespace kestrion::app
