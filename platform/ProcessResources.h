#pragma once

#include <cstddef>

namespace kestrovan {

// Puts the calling thread below the others in the scheduler's eyes: its work (reading pages) must
// never take the processor from the thread that drives the transfers.
void LowerThisThreadPriority();

// Raises the limit of open sockets as far as the system allows and returns how many more sockets
// may be open at once with it, beside those the process holds already.
std::size_t RaiseConnectionLimit();

} // namespace kestrovan
