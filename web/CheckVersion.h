#pragma once

#include "platform/HttpRequest.h"
#include "platform/MessageDialog.h"
#include "platform/ProcessStarter.h"
#include "platform/ProgramTerminator.h"
#include "web/Endpoints.h"

#include <QString>

namespace kestrovan {

struct VersionCheckServices {
    HttpRequestFactory& http;
    MessageDialog& messageDialog;
    ProcessStarter& processStarter;
    ProgramTerminator& terminator;
};

// "major.minor" of this program, the text the home site's version file must hold exactly.
QString OwnVersionText();

// Makes sure the home site answers and publishes exactly this program's version. Returns true
// when it does; otherwise it tells the user and ends the program (a test double of the
// terminator returns, and then so does this, with false).
bool CheckVersion(const Endpoints& endpoints, const VersionCheckServices& services);

} // namespace kestrovan
