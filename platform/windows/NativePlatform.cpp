#include "platform/NativePlatform.h"

#include "platform/StateFolder.h"

#include "platform/qt/BasicAdapters.h"
#include "platform/qt/QtMessageDialog.h"
#include "platform/qt/QtSaveDialog.h"
#include "platform/windows/SessionEndFilter.h"
#include "platform/windows/WinInetSettings.h"
#include "platform/windows/WindowsBasics.h"
#include "platform/windows/WindowsProcessStarter.h"
#include "platform/windows/WindowsRegistry.h"

namespace kestrovan {

std::unique_ptr<NativePlatform> CreateNativePlatform() {
    auto platform = std::make_unique<NativePlatform>();
    auto registry = std::make_unique<WindowsRegistry>();
    platform->registryReader = registry.get();
    platform->registry = std::move(registry);
    platform->internetSettings = std::make_unique<WinInetSettings>();
    auto dialogOwner = std::make_shared<DialogOwner>();
    platform->messageDialog = std::make_unique<QtMessageDialog>(dialogOwner);
    platform->saveDialog = std::make_unique<QtSaveDialog>(dialogOwner, FileDialogKind::Platform);
    platform->attachWindow = [dialogOwner](QWidget* window) { dialogOwner->SetWindow(window); };
    platform->sleeper = std::make_unique<WindowsSleeper>();
    platform->processStarter = std::make_unique<WindowsProcessStarter>();
    platform->terminator = std::make_unique<WindowsTerminator>();
    platform->screen = std::make_unique<QtScreenInfo>();
    platform->stateFolder = ProgramStateFolder();
    // The filter lives as long as the platform, which main() keeps until the program ends.
    auto sessionEnd = std::make_shared<SessionEndFilter>();
    platform->watchEndRequests = [sessionEnd](NativePlatform::EndRequestHandler handler) {
        sessionEnd->Watch(std::move(handler));
    };
    return platform;
}

} // namespace kestrovan
