#pragma once

#include <QStringList>

namespace kestrovan {

// kestrovan-check with the arguments after the program's name; returns the exit status:
// 0 when at least one proxy works, 1 when none does, 2 on bad usage, an unreachable list page or
// an output file that cannot be written.
int RunCheckCommand(const QStringList& arguments);

} // namespace kestrovan
