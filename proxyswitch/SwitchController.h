#pragma once

#include "platform/RegistryReader.h"
#include "proxyswitch/SystemProxy.h"
#include "proxyswitch/WshShell.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QTimer;

namespace kestrovan {

// The switch in the window: Command5 turns the system proxy on for the selected entry, Command6
// turns it off, and Timer1 shows the setting in force in lblproxymsg once a second.
class SwitchController {
public:
    using AppendLog = std::function<void(const QString&)>;
    SwitchController(QLabel& lblproxymsg, QTimer& Timer1, SystemProxy& systemProxy,
                     RegistryReader& registryReader, AppendLog appendLog);

    // Switches the system proxy on (isEnable non-zero) or off, then notifies the Internet layer.
    void ChangProxy(const QString& proxyaddress, std::int16_t isEnable);

    void Command5_Click(const QString& Text1, const QString& Text2);
    void Command6_Click();
    void Timer1_Timer();

    // The proxy the program last switched to; empty after Command6.
    const QString& CurrentProxy() const { return CurrentProxy_; }
    // A speed test switched to proxy itself.
    void SwitchedBySpeedTest(const QString& proxy) { CurrentProxy_ = proxy; }
    // The status line stands still while a speed test runs.
    void StopMonitor();
    void StartMonitor();

private:
    QLabel& lblproxymsg;
    QTimer& Timer1;
    SystemProxy& systemProxy_;
    RegistryReader& registryReader_;
    AppendLog appendLog_;
    QString CurrentProxy_;
    std::unique_ptr<WshShell> RegShell;
};

} // namespace kestrovan
