#pragma once

#include "platform/OptionsStore.h"

namespace kestrion::sweep {

// The stored options, read at every initialisation of the main window.
using SweepOptions = platform::Options;

} // namespace kestrion::sweep
