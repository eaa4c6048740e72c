#pragma once

#include "platform/linux/DesktopProxyTarget.h"

#include <memory>

struct _GSettingsBackend;

namespace kestrovan {

// The proxy settings of GNOME and every other GSettings desktop (org.gnome.system.proxy), which
// GTK and GIO programs read. Works through GIO; never runs the gsettings tool.
class GsettingsProxyTarget final : public DesktopProxyTarget {
public:
    // nullptr when the proxy schemas are not installed. backend nullptr means the default one.
    static std::unique_ptr<GsettingsProxyTarget> Open(_GSettingsBackend* backend = nullptr);
    struct Handles;
    explicit GsettingsProxyTarget(std::unique_ptr<Handles> handles);
    ~GsettingsProxyTarget() override;

    std::string Name() const override { return "gsettings"; }
    bool Present() override { return true; }
    std::optional<DesktopProxyValue> Read() override;
    bool Write(const DesktopProxyValue& value) override;
    bool Persistent() override;

private:
    std::unique_ptr<Handles> handles_;
};

} // namespace kestrovan
