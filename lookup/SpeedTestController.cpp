// The speed test: Command8 switches to the selected proxy, WebBrowser4 loads the lookup result
// page through it, and Timer5 counts tenths of a second until the page has come.
#include "lookup/SpeedTestController.h"

#include "lookup/DelayText.h"
#include "lookup/ExtractLocation.h"
#include "text/AnsiText.h"
#include "text/Utf16View.h"
#include "web/HttpGetText.h"
#include "web/SystemProxySettings.h"

#include <QPushButton>
#include <QTimer>

#include <utility>

namespace kestrovan {
namespace {

// True when page loads now go through proxy: the switch took (a store that cannot be written
// leaves the old setting) and the address is one a connection can be made to.
bool LoadsGoThrough(RegistryReader& registry, const QString& proxy) {
    const std::optional<ProxyServerAddress> inForce = SystemHttpProxy(registry);
    return inForce && inForce == ParseHttpProxyServer(ToAnsi(proxy));
}

} // namespace

SpeedTestController::SpeedTestController(QPushButton& Command8, QTimer& Timer5, PageLoader& WebBrowser4,
                                         SwitchNotices switchNotices, SystemProxy& systemProxy,
                                         const Endpoints& endpoints, const Services& services,
                                         AppendLog appendLog)
    : Command8(Command8), Timer5(Timer5), WebBrowser4(WebBrowser4), switchNotices_(std::move(switchNotices)),
      endpoints_(endpoints), services_(services), appendLog_(std::move(appendLog)),
      session_(systemProxy, services.journal) {}

void SpeedTestController::Command8_Click(const QString& Text1, const QString& Text2) {
    if (Text1.isEmpty()) {
        appendLog_(QStringLiteral("您未选择需要测试的IP地址，请选择！"));
        return;
    }
    if (HttpProbe(services_.http, endpoints_.CityProbe()).isEmpty()) {
        appendLog_(QStringLiteral("连接服务器失败,请稍候重试. ") + Text1);
        return;
    }
    const QString tested = Text1 + u':' + Text2;
    std::optional<QString> recovered;
    const std::optional<QString> refused = session_.SwitchTo(tested, recovered);
    if (recovered) {
        appendLog_(*recovered);
    }
    if (refused) {
        appendLog_(*refused); // nothing was switched
        return;
    }
    switchNotices_.switched(tested);
    SpeedTestTicks_ = 0;
    Command8.setEnabled(false);
    Timer5.start();
    // A page that does not come through the proxy under test is no measure of it: where the proxy
    // is not in force nothing is loaded, and the test runs out as with any unusable proxy.
    if (LoadsGoThrough(services_.registryReader, tested)) {
        WebBrowser4.Navigate(endpoints_.LocationResultPage(Text1));
    }
    appendLog_(QStringLiteral("测速开始. 测试IP地址 ") + Text1);
    switchNotices_.started();
}

void SpeedTestController::Timer5_Timer() {
    SpeedTestTicks_ += 1;
    if (SpeedTestTicks_ <= kSpeedTestTickLimit) {
        return;
    }
    Timer5.stop();
    WebBrowser4.Navigate(QStringLiteral("about:blank"));
    Command8.setEnabled(true);
    appendLog_(QStringLiteral("测速结束,连接时间超过%1秒,连接失败.").arg(kSpeedTestLimit.count()));
    GiveBack();
    switchNotices_.ended();
}

void SpeedTestController::WebBrowser4_DocumentComplete(const QString& /*url*/) {
    if (!ShowsLocationResult(Utf16View(WebBrowser4.BodyText().value_or(QString()))) || Command8.isEnabled()) {
        return;
    }
    Timer5.stop();
    WebBrowser4.Navigate(QStringLiteral("about:blank"));
    services_.sleeper.Sleep(2000);
    appendLog_(QStringLiteral("测速结束,延时:") + QString::fromStdString(DelayText(SpeedTestTicks_)) +
               QStringLiteral("秒"));
    Command8.setEnabled(true);
    Command8.setFocus();
    GiveBack();
    switchNotices_.ended();
}

void SpeedTestController::GiveBack() {
    if (const std::optional<QString> kept = session_.GiveBack()) {
        appendLog_(*kept);
    }
}

} // namespace kestrovan
