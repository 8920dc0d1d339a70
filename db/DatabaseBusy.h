#pragma once

namespace kestrion::db {

// Depth of database operations in progress; a scheduled run waits while it is above zero.
struct DatabaseBusy {
    int depth = 0;
};

} // namespace kestrion::db
