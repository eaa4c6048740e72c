// The location query: Command3, the result page in WebBrowser3 and its parse.
#include "window/Frmhome.h"

#include "lookup/ExtractLocation.h"
#include "text/Utf16View.h"

namespace kestrovan {
namespace {

bool HoldsResultMarker(const std::optional<QString>& bodyText) {
    return bodyText && ShowsLocationResult(Utf16View(*bodyText));
}

} // namespace

void Frmhome::Command3_Click() {
    if (Text1.isEmpty()) {
        AppendLog(QStringLiteral("您未选择需要查询归属的IP地址，请选择！"));
        return;
    }
    if (Probe(endpoints_.IpsProbe()).isEmpty()) {
        AppendLog(QStringLiteral("连接服务器失败,请稍候重试."));
        return;
    }
    locationQueryUrl_ = endpoints_.LocationResultPage(Text1);
    WebBrowser3->Navigate(locationQueryUrl_);
    Command3->setEnabled(false);
    AppendLog(QStringLiteral("归属查询中......"));
}

void Frmhome::WebBrowser3_DocumentComplete(const QString& url) {
    if (Command3->isEnabled()) {
        return; // no query pending
    }
    if (HoldsResultMarker(WebBrowser3->BodyText())) {
        adapters_.sleeper.Sleep(2000);
        ParseLocationPage();
        return;
    }
    // The result page itself came back without a result: end the query rather than leave it
    // pending for good. Blank pages and other loads stay ignored.
    if (url == locationQueryUrl_) {
        AppendLog(QStringLiteral("查询失败,未找到归属信息."));
        Command3->setEnabled(true);
        Command3->setFocus();
    }
}

void Frmhome::ParseLocationPage() {
    const std::u16string text = WebBrowser3->BodyText().value_or(QString()).toStdU16String();
    const QString location = QString::fromStdU16String(ExtractLocation(text));
    WebBrowser3->Navigate(QStringLiteral("about:blank"));
    AppendLog(QStringLiteral("查询结束,归属:") + location);
    Command3->setEnabled(true);
    Command3->setFocus();
}

} // namespace kestrovan
