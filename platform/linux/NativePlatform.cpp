#include "platform/NativePlatform.h"

#include "platform/qt/BasicAdapters.h"
#include "platform/linux/DesktopProcessStarter.h"
#include "platform/linux/DesktopProxyBridge.h"
#include "platform/linux/LinuxInternetSettings.h"
#include "platform/qt/QtMessageDialog.h"
#include "platform/qt/QtSaveDialog.h"
#include "platform/linux/SqliteRegistry.h"

namespace kestrovan {

std::unique_ptr<NativePlatform> CreateNativePlatform() {
    auto platform = std::make_unique<NativePlatform>();
    auto registry = std::make_unique<SqliteRegistry>(SqliteRegistry::DefaultPath());
    platform->registryReader = registry.get();
    platform->registry = std::move(registry);

    // The desktop's proxy settings follow the registry after every settings-changed notification.
    auto settings = std::make_unique<LinuxInternetSettings>();
    std::shared_ptr<DesktopProxyBridge> bridge =
        DesktopProxyBridge::ForCurrentUser(*platform->registryReader);
    settings->AddListener([bridge] { bridge->Apply(); });
    platform->attachMessageLog = [bridge](NativePlatform::MessageLog log) {
        bridge->SetMessageSink(std::move(log));
    };
    platform->internetSettings = std::move(settings);

    platform->messageDialog = std::make_unique<QtMessageDialog>();
    platform->saveDialog = std::make_unique<QtSaveDialog>();
    platform->sleeper = std::make_unique<ThreadSleeper>();
    platform->processStarter = std::make_unique<DesktopProcessStarter>();
    platform->terminator = std::make_unique<ImmediateTerminator>();
    platform->screen = std::make_unique<QtScreenInfo>();
    return platform;
}

} // namespace kestrovan
