#include "platform/NativePlatform.h"

#include "platform/StateFolder.h"

#include "platform/qt/BasicAdapters.h"
#include "platform/linux/DesktopProcessStarter.h"
#include "platform/linux/DesktopProxyBridge.h"
#include "platform/linux/LinuxInternetSettings.h"
#include "platform/qt/QtMessageDialog.h"
#include "platform/qt/QtSaveDialog.h"
#include "platform/posix/SqliteRegistry.h"
#include "platform/posix/TerminationSignals.h"

namespace kestrovan {

namespace {

class LazyDesktopProxyBridge {
public:
    explicit LazyDesktopProxyBridge(RegistryReader& registry) : registry_(registry) {}

    DesktopProxyBridge& Get() {
        if (!bridge_) {
            bridge_ = DesktopProxyBridge::ForCurrentUser(registry_);
            bridge_->SetMessageSink(sink_);
        }
        return *bridge_;
    }

    void SetMessageSink(NativePlatform::MessageLog sink) {
        sink_ = std::move(sink);
        if (bridge_) {
            bridge_->SetMessageSink(sink_);
        }
    }

private:
    RegistryReader& registry_;
    std::unique_ptr<DesktopProxyBridge> bridge_;
    NativePlatform::MessageLog sink_;
};

} // namespace

std::unique_ptr<NativePlatform> CreateNativePlatform() {
    auto platform = std::make_unique<NativePlatform>();
    auto registry = std::make_unique<SqliteRegistry>(SqliteRegistry::DefaultPath());
    platform->registryReader = registry.get();
    platform->registry = std::move(registry);

    // The desktop's proxy settings follow the registry after every settings-changed notification.
    // The bridge is opened at the first one: opening it reads the GSettings schemas and starts the
    // settings backend, which the window does not need to show.
    auto settings = std::make_unique<LinuxInternetSettings>();
    auto bridge = std::make_shared<LazyDesktopProxyBridge>(*platform->registryReader);
    settings->AddListener([bridge] { bridge->Get().Apply(); });
    platform->attachMessageLog = [bridge](NativePlatform::MessageLog log) {
        bridge->SetMessageSink(std::move(log));
    };
    platform->internetSettings = std::move(settings);

    auto dialogOwner = std::make_shared<DialogOwner>();
    platform->messageDialog = std::make_unique<QtMessageDialog>(dialogOwner);
    // The desktop's file dialogs (GTK's, the portal's) speak the desktop's language; Qt's own
    // speaks Chinese with the rest of the program.
    platform->saveDialog = std::make_unique<QtSaveDialog>(dialogOwner, FileDialogKind::QtOwn);
    platform->attachWindow = [dialogOwner](QWidget* window) { dialogOwner->SetWindow(window); };
    platform->sleeper = std::make_unique<ThreadSleeper>();
    platform->processStarter = std::make_unique<DesktopProcessStarter>();
    platform->terminator = std::make_unique<ImmediateTerminator>();
    platform->screen = std::make_unique<QtScreenInfo>();

    auto signalWatcher = std::make_shared<std::unique_ptr<TerminationSignals>>();
    platform->watchEndRequests = [signalWatcher](NativePlatform::EndRequestHandler handler) {
        *signalWatcher = std::make_unique<TerminationSignals>(std::move(handler));
    };
    platform->stateFolder = ProgramStateFolder();
    return platform;
}

} // namespace kestrovan
