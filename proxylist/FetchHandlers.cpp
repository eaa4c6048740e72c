// Fetching the proxy list: Command1, the page load in WebBrowser1 and the parse.
#include "window/Frmhome.h"

#include "proxylist/ExtractProxyEntries.h"

namespace kestrovan {

void Frmhome::Command1_Click() {
    StopListCheck(); // the list it checks is about to be replaced
    const QString url = endpoints_.ProxyListPage();
    if (Probe(url).isEmpty()) {
        AppendLog(QStringLiteral("连接服务器失败,请稍候重试."));
        return;
    }
    List1->clear();
    Command1->setEnabled(false);
    WebBrowser1->Navigate(url);
    AppendLog(QStringLiteral("代理获取中......"));
}

void Frmhome::WebBrowser1_DocumentComplete(const QString& url) {
    if (WebBrowser1->BodyText().value_or(QString()).contains(QStringView(kProxyListMarker))) {
        adapters_.sleeper.Sleep(2000);
        ParseProxyPage();
        return;
    }
    // The list page itself came back without a list (an error page, a failed load): end the
    // fetch instead of leaving the button disabled for good. Blank pages stay ignored.
    if (!Command1->isEnabled() && url == endpoints_.ProxyListPage()) {
        AppendLog(QStringLiteral("代理获取失败,未找到代理列表."));
        Command1->setEnabled(true);
        Command1->setFocus();
    }
}

void Frmhome::ParseProxyPage() {
    List1->clear();
    QString countText;
    if (const std::optional<QString> text = WebBrowser1->BodyText()) {
        const ProxyEntries result = ExtractProxyEntries(text->toStdU16String());
        if (result.firstMarkerPos) {
            FirstMarkerPos = *result.firstMarkerPos;
        }
        QStringList entries;
        entries.reserve(static_cast<qsizetype>(result.entries.size()));
        for (const std::u16string& entry : result.entries) {
            entries << QString::fromStdU16String(entry);
        }
        List1->addItems(entries);
        countText = QString::fromStdU16String(result.countText);
    }
    AppendLog(QStringLiteral("代理获取结束,已成功获取") + countText + QStringLiteral("个. "));
    WebBrowser1->Navigate(QStringLiteral("about:blank"));
    Command1->setEnabled(true);
    Command1->setFocus();
}

} // namespace kestrovan
