#pragma once

#include "lookup/SpeedTestJournal.h"
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
    // running keeps the setting from before the first start. A start while an earlier test's
    // setting is still to be given back first gives it back (its line in recovered) and does not
    // switch while that cannot be done.
    std::optional<QString> SwitchTo(const QString& tested, std::optional<QString>& recovered);
    // Gives the setting from before back, unless it was changed during the test: the newer
    // setting is the user's. The journal goes once the store holds the one or the other;
    // otherwise it stays for the next start or test (a line for the log when the store could not
    // be read). Nothing happens without a running test.
    std::optional<QString> GiveBack();
    bool Running() const { return record_.has_value(); }

    // At start-up: gives back the setting of a test that never ended; the line for the log, if
    // anything was found.
    std::optional<QString> Recover();

private:
    SystemProxy& systemProxy_;
    SpeedTestJournal& journal_;
    std::optional<SpeedTestRecord> record_;
    // The journal holds the setting of an earlier test that could not be given back yet.
    bool pending_ = false;
};

} // namespace kestrovan
