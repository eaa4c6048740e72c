#pragma once

#include "platform/linux/DesktopProxyTarget.h"

#include <QString>

#include <memory>

namespace kestrovan {

// KDE Plasma's proxy configuration in kioslaverc. Present in a KDE session, or wherever the file
// already exists; every write is followed by the reparse signal on the session bus.
class KdeProxyTarget final : public DesktopProxyTarget {
public:
    KdeProxyTarget(QString configFile, bool kdeSession);
    // kioslaverc in $XDG_CONFIG_HOME (or ~/.config), a KDE session per $XDG_CURRENT_DESKTOP.
    static std::unique_ptr<KdeProxyTarget> ForCurrentUser();

    std::string Name() const override { return "kde"; }
    bool Present() override;
    std::optional<DesktopProxyValue> Read() override;
    bool Write(const DesktopProxyValue& value) override;
    bool Persistent() override { return true; }

private:
    std::optional<std::string> ReadFile() const;

    QString configFile_;
    bool kdeSession_;
};

} // namespace kestrovan
