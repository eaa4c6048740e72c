#pragma once

#include "platform/linux/DesktopProxyValue.h"

#include <optional>
#include <string>

namespace kestrovan {

// One place where a desktop keeps the user's proxy configuration (GSettings, KDE's kioslaverc).
class DesktopProxyTarget {
public:
    virtual ~DesktopProxyTarget() = default;
    DesktopProxyTarget(const DesktopProxyTarget&) = delete;
    DesktopProxyTarget& operator=(const DesktopProxyTarget&) = delete;

    // A short stable name; keys the bridge's memory of what it applied here.
    virtual std::string Name() const = 0;
    // Whether this desktop is in use for the current user right now.
    virtual bool Present() = 0;
    // The configuration as stored now; nullopt when it cannot be read.
    virtual std::optional<DesktopProxyValue> Read() = 0;
    // Stores the configuration and flushes it; false when any part was refused.
    virtual bool Write(const DesktopProxyValue& value) = 0;
    // Whether a stored value reaches other programs (false for an in-memory store).
    virtual bool Persistent() = 0;

protected:
    DesktopProxyTarget() = default;
};

} // namespace kestrovan
