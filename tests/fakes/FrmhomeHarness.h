#pragma once

#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeHttp.h"
#include "tests/fakes/FakePageLoader.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/support/ListPage.h"
#include "tests/support/WindowDriver.h"
#include "window/Frmhome.h"

#include <memory>

namespace kestrovan::test {

inline const QString kHomeBase = QStringLiteral("http://127.0.0.1:17990");
inline const QString kLookupBase = QStringLiteral("http://127.0.0.1:17991");
inline constexpr char kSettingsSubKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The window built on fakes for every platform service. HTTP answers nothing until a test
// scripts it; StartUp() scripts a healthy start and runs the Load sequence.
struct FrmhomeHarness {
    FakeRegistry registry;
    FakeInternetSettings internetSettings;
    FakeHttpFactory http;
    FakePageLoaderFactory pageLoaders;
    FakeMessageDialog messageDialog;
    FakeSaveDialog saveDialog;
    FakeSleeper sleeper;
    FakeProcessStarter processStarter;
    FakeTerminator terminator;
    FakeScreen screen;
    SpeedTestJournal speedTestJournal{QString()};
    Endpoints endpoints{kHomeBase, kLookupBase};
    std::unique_ptr<Frmhome> window;

    FrmhomeHarness() { RebuildWindow(ListCheckSettings::Configured()); }

    // A new window on the same fakes, its list check aimed at the given TLS target and limits.
    void RebuildWindow(const ListCheckSettings& checkSettings) {
        window.reset();
        window = std::make_unique<Frmhome>(
            FrmhomeAdapters{registry, registry, internetSettings, http, pageLoaders, messageDialog,
                            saveDialog, sleeper, processStarter, terminator, screen, speedTestJournal},
            endpoints, nullptr, checkSettings);
    }

    // Scripts reachable services with the right version and runs the start-up sequence.
    bool StartUp() {
        http.SetBody(endpoints.CityProbe(), QStringLiteral("ok"));
        http.SetBody(endpoints.HomePage(), QStringLiteral("<html>home</html>"));
        http.SetBody(endpoints.VersionFile(), QStringLiteral("1.5"));
        return window->Form_Load();
    }

    // The window as its user works it.
    WindowDriver Ui() const { return WindowDriver(*window); }

    // Fills List1 as the user does: a click on Command1 whose list page holds these entries.
    void FetchList(const QStringList& entries) {
        http.SetBody(endpoints.ProxyListPage(), QStringLiteral("ok"));
        Ui().Click("Command1");
        WebBrowser(1).Complete(endpoints.ProxyListPage(), ProxyListPageText(entries));
    }
    // Fetches these entries and clicks the one at row.
    void SelectEntry(const QStringList& entries, int row) {
        FetchList(entries);
        Ui().Select(row);
    }
    void SelectEntry(const QString& entry) { SelectEntry(QStringList{entry}, 0); }

    // The current window's browser control WebBrowser<number>.
    FakePageLoader& WebBrowser(int number) const {
        const QByteArray name = "WebBrowser" + QByteArray::number(number);
        return dynamic_cast<FakePageLoader&>(Ui().Browser(name.constData()));
    }

    QStringList Log() const { return Ui().Lines("List2"); }
    QStringList Entries() const { return Ui().Lines("List1"); }
};

} // namespace kestrovan::test
