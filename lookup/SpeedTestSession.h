#pragma once

#include "proxyswitch/SpeedTestJournal.h"
#include "proxyswitch/SystemProxy.h"

#include <QString>

#include <optional>

namespace kestrovan {

// A speed test's hold on the system proxy, from the switch to the tested proxy until the user's
// setting is back: the snapshot from before, its journal on disk while the tested proxy is in
// force, the switch, the restore however the test ends, and the recovery at the next start of a
// program that died during a test.
class SpeedTestSession {
public:
    SpeedTestSession(SystemProxy& systemProxy, SpeedTestJournal& journal);

    // Keeps the setting from before on disk, then switches to tested. nullopt once switched;
    // otherwise the reason for the log, and nothing was switched. A start while a test is
    // running keeps the setting from before the first start.
    std::optional<QString> SwitchTo(const QString& tested);
    // Gives the setting from before back, unless it was changed during the test: the newer
    // setting is the user's. The journal goes once the store holds the one or the other;
    // otherwise the next start tries once more. Nothing happens without a running test.
    void GiveBack();
    bool Running() const { return record_.has_value(); }

    // At start-up: gives back the setting of a test that never ended; the line for the log, if
    // anything was found.
    std::optional<QString> Recover();

private:
    SystemProxy& systemProxy_;
    SpeedTestJournal& journal_;
    std::optional<SpeedTestRecord> record_;
};

} // namespace kestrovan
