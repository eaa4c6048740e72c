// Fetching the proxy list: Command1, the page load in WebBrowser1 and the parse.
#include "proxylist/ProxyListController.h"

#include "proxylist/ExtractProxyEntries.h"
#include "web/HttpGetText.h"

#include <QListWidget>
#include <QPushButton>

namespace kestrovan {

ProxyListController::ProxyListController(QListWidget& List1, QPushButton& Command1, PageLoader& WebBrowser1,
                                         const Endpoints& endpoints, const Services& services,
                                         AppendLog appendLog)
    : List1(List1), Command1(Command1), WebBrowser1(WebBrowser1), endpoints_(endpoints), services_(services),
      appendLog_(std::move(appendLog)) {}

void ProxyListController::Command1_Click() {
    const QString url = endpoints_.ProxyListPage();
    if (HttpProbe(services_.http, url).isEmpty()) {
        appendLog_(QStringLiteral("连接服务器失败,请稍候重试."));
        return;
    }
    List1.clear();
    Command1.setEnabled(false);
    WebBrowser1.Navigate(url);
    appendLog_(QStringLiteral("代理获取中......"));
}

void ProxyListController::WebBrowser1_DocumentComplete(const QString& url) {
    if (WebBrowser1.BodyText().value_or(QString()).contains(QStringView(kProxyListMarker))) {
        services_.sleeper.Sleep(2000);
        ParseProxyPage();
        return;
    }
    // The list page itself came back without a list (an error page, a failed load): end the
    // fetch instead of leaving the button disabled for good. Blank pages stay ignored.
    if (!Command1.isEnabled() && url == endpoints_.ProxyListPage()) {
        appendLog_(QStringLiteral("代理获取失败,未找到代理列表."));
        Command1.setEnabled(true);
        Command1.setFocus();
    }
}

void ProxyListController::ParseProxyPage() {
    List1.clear();
    QString countText;
    if (const std::optional<QString> text = WebBrowser1.BodyText()) {
        const ProxyEntries result = ExtractProxyEntries(text->toStdU16String());
        if (result.firstMarkerPos) {
            FirstMarkerPos = *result.firstMarkerPos;
        }
        QStringList entries;
        entries.reserve(static_cast<qsizetype>(result.entries.size()));
        for (const std::u16string& entry : result.entries) {
            entries << QString::fromStdU16String(entry);
        }
        List1.addItems(entries);
        countText = QString::fromStdU16String(result.countText);
    }
    appendLog_(QStringLiteral("代理获取结束,已成功获取") + countText + QStringLiteral("个. "));
    WebBrowser1.Navigate(QStringLiteral("about:blank"));
    Command1.setEnabled(true);
    Command1.setFocus();
}

} // namespace kestrovan
