#pragma once

// The window on the real network adapters, talking to site servers on loopback ports, with fakes
// for everything that would block, show a dialog or end the test process.
#include "demo/SiteServer.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/support/WindowDriver.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

namespace kestrovan::test {

inline constexpr char kInternetSettingsSubKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Watches the event loop: the longest time it went without turning while the watch ran.
class Heartbeat {
public:
    Heartbeat();
    void Start();
    qint64 MaxGapMs() const;

private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    qint64 maxGapMs_ = 0;
};

// Runs events until done() holds or timeoutMs passed; done() at the end.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// Memory of this process in KiB: what is resident now, and the high-water mark since the last
// ResetPeakMemory() (or since start where the kernel does not allow the reset).
qint64 ResidentKiB();
qint64 PeakResidentKiB();
void ResetPeakMemory();

SiteAnswer Answer(int status, QByteArray body, QByteArray contentType = "text/html; charset=utf-8");
// A 302 to location; answered for location itself, a loop without end.
SiteAnswer Redirect(const QString& location);
// Seeded pseudo-random bytes without any digit, so that no marker can turn up by chance.
QByteArray BinaryGarbage(qsizetype size);
// The bytes of text as UTF-16LE.
QByteArray Utf16Le(const QString& text);

// The registries the window can run on: the in-memory fake unless a test hands in another.
struct RegistryChoice {
    RegistryOperations* operations = nullptr;
    RegistryReader* reader = nullptr;
};

struct RealWebWindow {
    // journalFile: where the speed test keeps its journal; empty keeps none. checkSettings: the
    // list check's (and the watch's) TLS target and limits.
    explicit RealWebWindow(RegistryChoice registryChoice = {}, const QString& journalFile = {},
                           const ListCheckSettings& checkSettings = ListCheckSettings::Configured());
    ~RealWebWindow();
    RealWebWindow(const RealWebWindow&) = delete;
    RealWebWindow& operator=(const RealWebWindow&) = delete;

    // The demo home site and lookup service on both servers.
    void ServeHealthySites();
    // Healthy sites, then the start-up sequence; true when the window may be shown.
    bool StartUp();
    // Closes the server's port: connections to it are refused from now on.
    void StopHome() { home.reset(); }
    void StopLookup() { lookup.reset(); }

    // The window as its user works it.
    WindowDriver Ui() const { return WindowDriver(*window); }
    // Fills List1 as the user does: the home site serves a list page of these entries and
    // Command1 fetches it. True when List1 holds them afterwards.
    [[nodiscard]] bool FetchList(const QStringList& entries);
    // Fetches a list of this one entry and clicks it.
    [[nodiscard]] bool SelectEntry(const QString& entry);
    // Sets the system proxy the page loaders go through (off when server is empty).
    void SetSystemProxy(const QString& server);
    std::optional<RegValue> Setting(const char* name);

    QStringList Log() const;
    QStringList LogSince(int line) const { return Log().mid(line); }
    QStringList Entries() const;
    // Requests a server recorded for one path (the query ignored), and those with the probe's
    // "If-Modified-Since" header among them.
    static int Count(const SiteServer& server, const QByteArray& path);
    static int ProbeCount(const SiteServer& server, const QByteArray& path);

    std::unique_ptr<SiteServer> home;
    std::unique_ptr<SiteServer> lookup;
    FakeRegistry fakeRegistry;
    RegistryOperations& registry;
    RegistryReader& registryReader;
    FakeInternetSettings internetSettings;
    NetworkHttpRequestFactory http;
    NetworkPageLoaderFactory pageLoaders;
    FakeMessageDialog messageDialog;
    FakeSaveDialog saveDialog;
    FakeSleeper sleeper;
    FakeProcessStarter processStarter;
    FakeTerminator terminator;
    FakeScreen screen;
    SpeedTestJournal speedTestJournal;
    Endpoints endpoints;
    std::unique_ptr<Frmhome> window;
};

} // namespace kestrovan::test
