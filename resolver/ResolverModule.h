#pragma once

// The library-wide counts behind DllCanUnloadNow: live objects and server locks.

namespace kestrion::resolver::module {

void objectCreated();
void objectDestroyed();
void lock();
void unlock();
// No object alive and no lock held.
bool idle();

} // namespace kestrion::resolver::module
