#pragma once

#include "tests/fakes/FrmhomeHarness.h"

#include <QListWidget>
#include <QString>

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrovan::test {

// A proxy-list page body with three numbered entries; only the first holds "8080".
inline const QString kThreeEntryPage = QStringLiteral(
    "Free proxies, updated daily\n1 10.0.0.1:8080ok\n2 10.0.0.2:3128ok\n3 10.0.0.3:80ok\nend of page");
inline const QStringList kThreeEntries{QStringLiteral(" 10.0.0.1:8080"), QStringLiteral(" 10.0.0.2:3128"),
                                       QStringLiteral(" 10.0.0.3:80")};

// A lookup result page as its body text reads.
inline QString ResultPageText(const QString& location) {
    return QStringLiteral("IP 查询\n本站主数据：") + location + QStringLiteral("参考数据一：其他\n");
}

// The window after a healthy start-up, shown as the program shows it, with the start-up's
// traces cleared so that each test sees only what it caused.
class StartedWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.StartUp());
        h.window->show();
        h.registry.ClearCalls();
        Rebaseline();
    }

    // From here on NewLog(), NewUrls() and NewPauses() report only what comes after.
    void Rebaseline() {
        startupHttpCalls = h.http.Calls().size();
        startupLogLines = static_cast<int>(h.Log().size());
        startupPauses = h.sleeper.Pauses().size();
    }

    Frmhome& W() { return *h.window; }

    WindowDriver Ui() const { return h.Ui(); }

    // Fetches a list of these entries and clicks the one at row; what the fetch logged and asked
    // is not counted as new.
    void SelectEntry(const QStringList& entries, int row) {
        h.SelectEntry(entries, row);
        Rebaseline();
    }
    void SelectEntry(const QString& entry) { SelectEntry(QStringList{entry}, 0); }
    // Fetches a list of these entries without selecting one; not counted as new either.
    void FetchList(const QStringList& entries) {
        h.FetchList(entries);
        Rebaseline();
    }

    // Log lines added since start-up.
    QStringList NewLog() const { return h.Log().mid(startupLogLines); }
    // Addresses asked since start-up.
    QStringList NewUrls() const { return h.http.Urls().mid(startupHttpCalls); }
    // Pauses taken since start-up.
    std::vector<int> NewPauses() const {
        const std::vector<int>& all = h.sleeper.Pauses();
        return {all.begin() + static_cast<std::ptrdiff_t>(startupPauses), all.end()};
    }

    std::optional<std::pair<std::uint32_t, std::string>> Setting(const std::string& name) const {
        return h.registry.Raw(kHkeyCurrentUser, kSettingsSubKey, name);
    }

    FrmhomeHarness h;
    qsizetype startupHttpCalls = 0;
    int startupLogLines = 0;
    std::size_t startupPauses = 0;
};

} // namespace kestrovan::test
