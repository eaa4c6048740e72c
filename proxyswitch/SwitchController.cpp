// Command5 (enable), Command6 (disable), the once-a-second status monitor Timer1, and ChangProxy.
#include "proxyswitch/SwitchController.h"

#include "platform/InternetSettings.h"
#include "proxyswitch/ProxyStatus.h"

#include <QLabel>
#include <QTimer>

namespace kestrovan {

SwitchController::SwitchController(QLabel& lblproxymsg, QTimer& Timer1, SystemProxy& systemProxy,
                                   RegistryReader& registryReader, AppendLog appendLog)
    : lblproxymsg(lblproxymsg), Timer1(Timer1), systemProxy_(systemProxy), registryReader_(registryReader),
      appendLog_(std::move(appendLog)) {}

void SwitchController::ChangProxy(const QString& proxyaddress, std::int16_t isEnable) {
    systemProxy_.ChangProxy(proxyaddress, isEnable);
}

void SwitchController::Command5_Click(const QString& Text1, const QString& Text2) {
    if (Text1.isEmpty()) {
        appendLog_(QStringLiteral("代理启用失败,您未选择代理服务器."));
        return;
    }
    CurrentProxy_ = Text1 + u':' + Text2;
    ChangProxy(CurrentProxy_, -1);
}

void SwitchController::Command6_Click() {
    CurrentProxy_.clear();
    ChangProxy(CurrentProxy_, 0);
}

void SwitchController::StopMonitor() {
    Timer1.stop();
}

void SwitchController::StartMonitor() {
    Timer1.start();
}

void SwitchController::Timer1_Timer() {
    if (!RegShell) {
        RegShell = std::make_unique<WshShell>(registryReader_);
    }
    const QString prefix = QString::fromLatin1(kInternetSettingsKeyPath) + u'\\';
    const std::optional<RegValue> server = RegShell->RegRead(prefix + QString::fromLatin1(kProxyServerName));
    const std::optional<RegValue> flag = RegShell->RegRead(prefix + QString::fromLatin1(kProxyEnableName));
    lblproxymsg.setText(ProxyStatusCaption(server, flag));
}

} // namespace kestrovan
