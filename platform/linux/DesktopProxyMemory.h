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
    // Both false when the file could not be written; the memory then stays as it was.
    bool Remember(const std::string& target, const AppliedDesktopProxy& entry);
    bool Forget(const std::string& target);

private:
    void Load();
    // Replaces the file whole (0600, never through a link) with the entries given; false when
    // it could not be written.
    bool Save(const std::map<std::string, AppliedDesktopProxy>& entries) const;

    QString stateFile_;
    std::map<std::string, AppliedDesktopProxy> entries_;
};

} // namespace kestrovan
