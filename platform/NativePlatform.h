#pragma once

#include "platform/InternetSettingsNotifier.h"
#include "platform/MessageDialog.h"
#include "platform/ProcessStarter.h"
#include "platform/ProgramTerminator.h"
#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"
#include "platform/SaveDialog.h"
#include "platform/ScreenInfo.h"
#include "platform/Sleeper.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

class QWidget;

namespace kestrovan {

// The running platform's adapters, as the program's main() hands them to the window.
struct NativePlatform {
    std::unique_ptr<RegistryOperations> registry;
    RegistryReader* registryReader = nullptr; // owned by whichever member implements it
    std::unique_ptr<InternetSettingsNotifier> internetSettings;
    std::unique_ptr<MessageDialog> messageDialog;
    std::unique_ptr<SaveDialog> saveDialog;
    std::unique_ptr<Sleeper> sleeper;
    std::unique_ptr<ProcessStarter> processStarter;
    std::unique_ptr<ProgramTerminator> terminator;
    std::unique_ptr<ScreenInfo> screen;

    // Hands the platform's own reports (the desktop proxy bridge's, on Linux) to the window's
    // message log once the window exists.
    using MessageLog = std::function<void(const QString&)>;
    std::function<void(MessageLog)> attachMessageLog = [](const MessageLog&) {};

    // Names the window that the message boxes and the save dialog belong to once it exists.
    std::function<void(QWidget*)> attachWindow = [](QWidget*) {};

    // The system's requests to end the program (termination signals on Linux) go to the handler
    // from now on. When it returns false the program ends as it would have without it.
    using EndRequestHandler = std::function<bool()>;
    std::function<void(EndRequestHandler)> watchEndRequests = [](const EndRequestHandler&) {};

    // The folder of the program's own state files (platform/StateFolder.h).
    std::filesystem::path stateFolder;
};

// Builds the adapters of the platform this program was compiled for. Needs a QApplication.
std::unique_ptr<NativePlatform> CreateNativePlatform();

} // namespace kestrovan
