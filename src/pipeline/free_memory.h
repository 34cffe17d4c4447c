// How much memory the process can still take, so that work too large for it
// is refused with a message before it starts instead of ending the program.
#pragma once

namespace qf {

// Bytes this process can still take: what the system reports available, no
// more than its control group's memory limit leaves, and no more than its
// address-space limit leaves. 0 when none of them is known.
double AvailableMemory();

} // namespace qf
