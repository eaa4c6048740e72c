// The location query: Command3, the result page in WebBrowser3 and its parse.
#include "lookup/LocationQueryController.h"

#include "lookup/ExtractLocation.h"
#include "text/ShownText.h"
#include "text/Utf16View.h"
#include "web/HttpGetText.h"

#include <QPushButton>

#include <algorithm>

namespace kestrovan {
namespace {

bool HoldsResultMarker(const std::optional<QString>& bodyText) {
    return bodyText && ShowsLocationResult(Utf16View(*bodyText));
}

// Past this a location is no place name: the log line is cut, as any line from outside is.
constexpr qsizetype kMaxLoggedLocation = 200;

bool IsLineBreak(QChar c) {
    return c == u'\n' || c == u'\r';
}

// The location as the log shows it: bounded, each line through the log's filter, the line
// breaks of the page kept where they are.
QString LoggedLocation(const QString& location) {
    qsizetype length = std::min(location.size(), kMaxLoggedLocation);
    if (length < location.size() && location.at(length - 1).isHighSurrogate()) {
        --length; // never half a character
    }
    QString logged;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= length; ++i) {
        if (i == length || IsLineBreak(location.at(i))) {
            logged += ShownText(location.mid(lineStart, i - lineStart), ShownIn::LogLine);
            if (i < length) {
                logged += location.at(i);
            }
            lineStart = i + 1;
        }
    }
    return length < location.size() ? logged + QStringLiteral("...") : logged;
}

} // namespace

LocationQueryController::LocationQueryController(QPushButton& Command3, PageLoader& WebBrowser3,
                                                 const Endpoints& endpoints, HttpRequestFactory& http,
                                                 Sleeper& sleeper, AppendLog appendLog)
    : Command3(Command3), WebBrowser3(WebBrowser3), endpoints_(endpoints), http_(http), sleeper_(sleeper),
      appendLog_(std::move(appendLog)) {}

void LocationQueryController::Command3_Click(const QString& Text1) {
    if (Text1.isEmpty()) {
        appendLog_(QStringLiteral("您未选择需要查询归属的IP地址，请选择！"));
        return;
    }
    if (HttpProbe(http_, endpoints_.IpsProbe()).isEmpty()) {
        appendLog_(QStringLiteral("连接服务器失败,请稍候重试."));
        return;
    }
    locationQueryUrl_ = endpoints_.LocationResultPage(Text1);
    WebBrowser3.Navigate(locationQueryUrl_);
    Command3.setEnabled(false);
    appendLog_(QStringLiteral("归属查询中......"));
}

void LocationQueryController::WebBrowser3_DocumentComplete(const QString& url) {
    if (Command3.isEnabled()) {
        return; // no query pending
    }
    if (HoldsResultMarker(WebBrowser3.BodyText())) {
        sleeper_.Sleep(2000);
        ParseLocationPage();
        return;
    }
    // The result page itself came back without a result: end the query rather than leave it
    // pending for good. Blank pages and other loads stay ignored.
    if (url == locationQueryUrl_) {
        appendLog_(QStringLiteral("查询失败,未找到归属信息."));
        Command3.setEnabled(true);
        Command3.setFocus();
    }
}

void LocationQueryController::ParseLocationPage() {
    const std::u16string text = WebBrowser3.BodyText().value_or(QString()).toStdU16String();
    const QString location = QString::fromStdU16String(ExtractLocation(text));
    WebBrowser3.Navigate(QStringLiteral("about:blank"));
    appendLog_(QStringLiteral("查询结束,归属:") + LoggedLocation(location));
    Command3.setEnabled(true);
    Command3.setFocus();
}

} // namespace kestrovan
