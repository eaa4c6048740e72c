#include "tests/support/ListFetch.h"

#include "demo/SiteServer.h"
#include "platform/PageLoader.h"
#include "tests/support/ListPage.h"
#include "tests/support/WindowDriver.h"
#include "web/Endpoints.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrl>

namespace kestrovan::test {

bool FetchListFrom(SiteServer& home, QWidget& window, const QStringList& entries) {
    const QString listPage = Endpoints{home.BaseUrl(), QString()}.ProxyListPage();
    SiteAnswer page;
    page.body = ProxyListPageText(entries).toUtf8();
    home.SetAnswer(QUrl(listPage).path(), page);
    const WindowDriver ui(window);
    // The window blanks its browser once it has taken the list; the fill ends with that load, so
    // that nothing of it reaches what the caller does next. A blank load from before (start-up)
    // may still complete meanwhile.
    QSignalSpy loads(&ui.Browser("WebBrowser1"), &PageLoader::DocumentComplete);
    const auto blankedAfterTheList = [&] {
        bool listTaken = false;
        for (const QList<QVariant>& load : loads) {
            const QString url = load.value(0).toString();
            listTaken = listTaken || url == listPage;
            if (listTaken && url == QStringLiteral("about:blank")) {
                return true;
            }
        }
        return false;
    };
    ui.Click("Command1");
    return QTest::qWaitFor([&] { return ui.IsEnabled("Command1"); }, 10'000) &&
           ui.Lines("List1") == entries && QTest::qWaitFor(blankedAfterTheList, 10'000);
}

} // namespace kestrovan::test
