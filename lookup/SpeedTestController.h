#pragma once

#include "lookup/SpeedTestSession.h"
#include "platform/HttpRequest.h"
#include "platform/PageLoader.h"
#include "platform/RegistryReader.h"
#include "platform/Sleeper.h"
#include "web/Endpoints.h"

#include <QString>

#include <functional>
#include <optional>

class QPushButton;
class QTimer;

namespace kestrovan {

// The speed test in the window: Command8 switches to the selected proxy, WebBrowser4 loads the
// lookup result page through it, and Timer5 counts tenths of a second until the page has come or
// the limit (kSpeedTestLimit) has passed. The session gives the user's setting back however the test ends.
class SpeedTestController {
public:
    using AppendLog = std::function<void(const QString&)>;
    struct Services {
        RegistryReader& registryReader;
        HttpRequestFactory& http;
        Sleeper& sleeper;
        SpeedTestJournal& journal;
    };
    // What the window's proxy switch hears of the test, wired by the window: the proxy the test
    // put in force, and when to hold its status line still and let it run again.
    struct SwitchNotices {
        std::function<void(const QString& proxy)> switched;
        std::function<void()> started;
        std::function<void()> ended;
    };
    SpeedTestController(QPushButton& Command8, QTimer& Timer5, PageLoader& WebBrowser4,
                        SwitchNotices switchNotices, SystemProxy& systemProxy, const Endpoints& endpoints,
                        const Services& services, AppendLog appendLog);

    void Command8_Click(const QString& Text1, const QString& Text2);
    void Timer5_Timer();
    void WebBrowser4_DocumentComplete(const QString& url);

    // Tenths of a second since the running test started.
    float SpeedTestTicks() const { return SpeedTestTicks_; }
    bool Running() const { return session_.Running(); }
    // The program ends: a running test gives the setting from before back first.
    void EndOfProgram() { session_.GiveBack(); }
    // At start-up: gives back the setting of a test that never ended; the line for the log, if
    // anything was found.
    std::optional<QString> Recover() { return session_.Recover(); }

private:
    // Ends the session; a setting that could not be given back is told in the log.
    void GiveBack();

    QPushButton& Command8;
    QTimer& Timer5;
    PageLoader& WebBrowser4;
    SwitchNotices switchNotices_;
    Endpoints endpoints_;
    Services services_;
    AppendLog appendLog_;
    SpeedTestSession session_;
    float SpeedTestTicks_ = 0;
};

} // namespace kestrovan
