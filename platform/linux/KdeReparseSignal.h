#pragma once

namespace kestrovan {

// Tells running KDE programs on the session bus to reread kioslaverc (the KIO scheduler's
// reparseSlaveConfiguration signal). Connects only to an existing session bus, never starts one;
// false when there is none or the signal could not be sent.
bool EmitKioReparseSignal();

} // namespace kestrovan
