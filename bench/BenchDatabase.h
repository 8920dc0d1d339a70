#pragma once

#include "platform/AppPaths.h"

namespace kestrion::bench {

// Two saved runs of the same size, 10.20.30.1-254 (run 1) and 10.20.31.1-254 (run 2), each with
// `sweeps` saved sweeps in which every address answered, so a run's rows have to be picked out of
// twice as many.
void fillTwoFullRuns(const platform::AppPaths& paths, int sweeps);

} // namespace kestrion::bench
