#pragma once

namespace kestrovan {

// Installs Qt's own Simplified Chinese texts (message-box buttons, the file dialog) for the rest
// of the run, whatever the system's locale: the program speaks Chinese throughout. Taken from
// the program's resources when it carries them, otherwise from Qt's translations folder.
// False when neither has it. Needs a QCoreApplication.
bool InstallQtTranslation();

} // namespace kestrovan
