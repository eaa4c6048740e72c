#include "platform/NativePlatform.h"

#include "platform/qt/BasicAdapters.h"
#include "platform/qt/QtMessageDialog.h"
#include "platform/qt/QtSaveDialog.h"
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
    platform->messageDialog = std::make_unique<QtMessageDialog>();
    platform->saveDialog = std::make_unique<QtSaveDialog>();
    platform->sleeper = std::make_unique<WindowsSleeper>();
    platform->processStarter = std::make_unique<WindowsProcessStarter>();
    platform->terminator = std::make_unique<WindowsTerminator>();
    platform->screen = std::make_unique<QtScreenInfo>();
    return platform;
}

} // namespace kestrovan
