#pragma once

// The identity is generated at the top of the build tree; this name stays for the window's files.
#include <ProgramIdentity.h>
