#pragma once

#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeHttp.h"
#include "tests/fakes/FakePageLoader.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
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

    FakePageLoader& WebBrowser(int number) const {
        return pageLoaders.Loader(static_cast<std::size_t>(number - 1));
    }

    QStringList Log() const {
        QStringList lines;
        for (int i = 0; i < window->List2->count(); ++i) {
            lines << window->List2->item(i)->text();
        }
        return lines;
    }
    QStringList Entries() const {
        QStringList lines;
        for (int i = 0; i < window->List1->count(); ++i) {
            lines << window->List1->item(i)->text();
        }
        return lines;
    }
};

} // namespace kestrovan::test
