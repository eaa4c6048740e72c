#pragma once

#include "platform/HttpRequest.h"
#include "platform/PageLoader.h"
#include "platform/SaveDialog.h"
#include "platform/Sleeper.h"
#include "web/Endpoints.h"

#include <QString>

#include <cstdint>
#include <functional>

class QListWidget;
class QPushButton;

namespace kestrovan {

// The proxy list in the window: Command1 fetches it into List1 through WebBrowser1, a click on an
// entry selects it (Text1, Text2), and Command2 exports it.
class ProxyListController {
public:
    using AppendLog = std::function<void(const QString&)>;
    struct Services {
        HttpRequestFactory& http;
        Sleeper& sleeper;
        SaveDialog& saveDialog; // CommonDialog1
    };
    ProxyListController(QListWidget& List1, QPushButton& Command1, PageLoader& WebBrowser1,
                        const Endpoints& endpoints, const Services& services, AppendLog appendLog);

    void Command1_Click();
    void WebBrowser1_DocumentComplete(const QString& url);
    void List1_Click();
    void Command2_Click();

    // The selected entry: host and port; empty while nothing usable is selected.
    const QString& Text1() const { return Text1_; }
    const QString& Text2() const { return Text2_; }

private:
    void ParseProxyPage();

    QListWidget& List1;
    QPushButton& Command1;
    PageLoader& WebBrowser1;
    Endpoints endpoints_;
    Services services_;
    AppendLog appendLog_;
    QString Text1_;
    QString Text2_;
    std::int16_t FirstMarkerPos = 0; // where the last list page's first marker stood
};

} // namespace kestrovan
