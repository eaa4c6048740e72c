#pragma once

// The system code page conversion lives in text/; this name stays for the speed test's files.
#include "text/AnsiText.h"
