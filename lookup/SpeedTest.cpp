// The speed test: Command8 switches to the selected proxy, WebBrowser4 loads the lookup result
// page through it, and Timer5 counts tenths of a second until the page has come.
#include "window/Frmhome.h"

#include "lookup/DelayText.h"
#include "lookup/ExtractLocation.h"
#include "text/Utf16View.h"
#include "text/AnsiText.h"
#include "web/SystemProxySettings.h"

namespace kestrovan {
namespace {

// True when page loads now go through proxy: the switch took (a store that cannot be written
// leaves the old setting) and the address is one a connection can be made to.
bool LoadsGoThrough(RegistryReader& registry, const QString& proxy) {
    const std::optional<ProxyServerAddress> inForce = SystemHttpProxy(registry);
    return inForce && inForce == ParseHttpProxyServer(ToAnsi(proxy));
}

} // namespace

void Frmhome::Command8_Click() {
    if (Text1.isEmpty()) {
        AppendLog(QStringLiteral("您未选择需要测试的IP地址，请选择！"));
        return;
    }
    if (Probe(endpoints_.CityProbe()).isEmpty()) {
        AppendLog(QStringLiteral("连接服务器失败,请稍候重试. ") + Text1);
        return;
    }
    const QString tested = Text1 + u':' + Text2;
    if (const std::optional<QString> refused = speedTestSession_.SwitchTo(tested)) {
        AppendLog(*refused); // nothing was switched
        return;
    }
    CurrentProxy = tested;
    SpeedTestTicks = 0;
    Command8->setEnabled(false);
    Timer5->start();
    // A page that does not come through the proxy under test is no measure of it: where the proxy
    // is not in force nothing is loaded, and the test runs out as with any unusable proxy.
    if (LoadsGoThrough(adapters_.registryReader, CurrentProxy)) {
        WebBrowser4->Navigate(endpoints_.LocationResultPage(Text1));
    }
    AppendLog(QStringLiteral("测速开始. 测试IP地址 ") + Text1);
    Timer1->stop();
}

void Frmhome::Timer5_Timer() {
    SpeedTestTicks += 1;
    if (SpeedTestTicks <= kSpeedTestTickLimit) {
        return;
    }
    Timer5->stop();
    WebBrowser4->Navigate(QStringLiteral("about:blank"));
    Command8->setEnabled(true);
    AppendLog(QStringLiteral("测速结束,连接时间超过15秒,连接失败."));
    speedTestSession_.GiveBack();
    Timer1->start();
}

void Frmhome::WebBrowser4_DocumentComplete(const QString& /*url*/) {
    if (!ShowsLocationResult(Utf16View(WebBrowser4->BodyText().value_or(QString()))) ||
        Command8->isEnabled()) {
        return;
    }
    Timer5->stop();
    WebBrowser4->Navigate(QStringLiteral("about:blank"));
    adapters_.sleeper.Sleep(2000);
    AppendLog(QStringLiteral("测速结束,延时:") + QString::fromStdString(DelayText(SpeedTestTicks)) +
              QStringLiteral("秒"));
    Command8->setEnabled(true);
    Command8->setFocus();
    speedTestSession_.GiveBack();
    Timer1->start();
}

} // namespace kestrovan
