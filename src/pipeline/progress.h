// Progress reports of long pipeline work.
#pragma once

#include <functional>

namespace qf {

// A progress report in percent (0-100). Returning false asks the work to stop.
using ProgressFn = std::function<bool(double percent)>;

} // namespace qf
