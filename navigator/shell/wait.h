// WaitSeconds: a wait that keeps the windows responsive.
#pragma once

namespace tessaro {

// Returns once more than `seconds` have passed on a monotonic clock (so a wait
// across midnight ends on time), running pending events of the Qt event loop
// the whole time. Handlers may run re-entrantly during the wait.
void WaitSeconds(double seconds);

}  // namespace tessaro
