// Command5 (enable), Command6 (disable), the once-a-second status monitor Timer1, and the
// window's ChangProxy.
#include "window/Frmhome.h"

#include "platform/InternetSettings.h"
#include "proxyswitch/ProxyStatus.h"

namespace kestrovan {

void Frmhome::ChangProxy(const QString& proxyaddress, std::int16_t isEnable) {
    systemProxy_.ChangProxy(proxyaddress, isEnable);
}

void Frmhome::Command5_Click() {
    if (Text1.isEmpty()) {
        AppendLog(QStringLiteral("代理启用失败,您未选择代理服务器."));
        return;
    }
    CurrentProxy = Text1 + u':' + Text2;
    ChangProxy(CurrentProxy, -1);
}

void Frmhome::Command6_Click() {
    CurrentProxy.clear();
    ChangProxy(CurrentProxy, 0);
}

void Frmhome::Timer1_Timer() {
    if (!RegShell) {
        RegShell = std::make_unique<WshShell>(adapters_.registryReader);
    }
    const QString prefix = QString::fromLatin1(kInternetSettingsKeyPath) + u'\\';
    const std::optional<RegValue> server = RegShell->RegRead(prefix + QString::fromLatin1(kProxyServerName));
    const std::optional<RegValue> flag = RegShell->RegRead(prefix + QString::fromLatin1(kProxyEnableName));
    lblproxymsg->setText(ProxyStatusCaption(server, flag));
}

} // namespace kestrovan
