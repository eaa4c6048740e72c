#pragma once

// The Internet Settings values are read alike by the switch, the page loader and the desktop
// bridge, so they live beside the key's names; this name stays for the switch's files.
#include "platform/InternetSettings.h"
