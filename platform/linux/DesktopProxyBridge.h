#pragma once

#include "platform/RegistryReader.h"
#include "platform/linux/DesktopProxyMemory.h"
#include "platform/linux/DesktopProxyTarget.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrovan {

// Makes the desktop's proxy settings follow the system proxy in the registry. Run after each
// settings-changed notification, on the GUI thread. A desktop setting the bridge did not make is
// never thrown away: switching off puts back what was there before, and leaves a setting the user
// has changed since as it is.
class DesktopProxyBridge {
public:
    using MessageSink = std::function<void(const QString&)>;

    DesktopProxyBridge(RegistryReader& registry, std::vector<std::unique_ptr<DesktopProxyTarget>> targets,
                       QString stateFile);

    // The desktops of the current user (GSettings when its schema is installed, KDE's kioslaverc)
    // and the state file under $XDG_CONFIG_HOME/kestrovan/.
    static std::unique_ptr<DesktopProxyBridge> ForCurrentUser(RegistryReader& registry);
    static QString DefaultStateFile();

    // Where lines for the window's message log go; lines from before a sink is set are kept for it.
    void SetMessageSink(MessageSink sink);

    // Reads "ProxyEnable" and "ProxyServer" and applies them to every desktop present.
    void Apply();

private:
    bool SwitchOn(DesktopProxyTarget& target, const DesktopProxyValue& wanted);
    bool SwitchOff(DesktopProxyTarget& target);
    void Say(const QString& line);

    RegistryReader& registry_;
    std::vector<std::unique_ptr<DesktopProxyTarget>> targets_;
    DesktopProxyMemory memory_;
    MessageSink sink_;
    std::vector<QString> pending_;
    // Each problem is told once, until the desktop follows again or the server text changes.
    bool notTakenTold_ = false;
    bool unsaved_ = false; // the last Apply left a desktop alone: its setting could not be saved
    bool unsavedTold_ = false;
    std::optional<std::string> unusableTold_;
};

} // namespace kestrovan
