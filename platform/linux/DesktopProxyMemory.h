#pragma once

#include "platform/linux/DesktopProxyValue.h"

#include <QString>

#include <map>
#include <optional>
#include <string>

namespace kestrovan {

// What the bridge wrote to a desktop, and what the desktop held before it, so that switching off
// can tell its own setting from the user's and put the user's back.
struct AppliedDesktopProxy {
    DesktopProxyValue applied;
    DesktopProxyValue previous;
    friend bool operator==(const AppliedDesktopProxy&, const AppliedDesktopProxy&) = default;
};

// Remembered per desktop target. With a file it lasts across runs: a proxy left switched on at
// exit can still be switched off cleanly in the next run. An empty file name keeps it in memory.
class DesktopProxyMemory {
public:
    explicit DesktopProxyMemory(QString stateFile);

    std::optional<AppliedDesktopProxy> Find(const std::string& target) const;
    void Remember(const std::string& target, const AppliedDesktopProxy& entry);
    void Forget(const std::string& target);

private:
    void Load();
    void Save() const;

    QString stateFile_;
    std::map<std::string, AppliedDesktopProxy> entries_;
};

} // namespace kestrovan
