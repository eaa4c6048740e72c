#include "lookup/SpeedTestSession.h"

#include "text/AnsiText.h"
#include "proxyswitch/ProxyStatus.h"
#include "text/ShownText.h"

#include <utility>

namespace kestrovan {
namespace {

// The status text of a setting as a log line shows it: control characters blanked, cut short.
QString ShownSetting(const ProxySettingsSnapshot& setting) {
    return ShownText(ProxyStatusCaption(setting.proxyServer, setting.proxyEnable), ShownIn::LogLine);
}

} // namespace

SpeedTestSession::SpeedTestSession(SystemProxy& systemProxy, SpeedTestJournal& journal)
    : systemProxy_(systemProxy), journal_(journal) {}

std::optional<QString> SpeedTestSession::SwitchTo(const QString& tested) {
    SpeedTestRecord record{record_ ? record_->before : systemProxy_.Capture(), ToAnsi(tested)};
    switch (journal_.Write(record)) {
    case SpeedTestJournal::Kept::Yes:
        break;
    case SpeedTestJournal::Kept::InUseElsewhere:
        return QStringLiteral("另一个程序正在测速,本次测速未进行.");
    case SpeedTestJournal::Kept::No:
        return QStringLiteral("测速前的代理设置无法保存,本次测速未进行.");
    }
    record_ = std::move(record);
    systemProxy_.ChangProxy(tested, -1);
    return std::nullopt;
}

void SpeedTestSession::GiveBack() {
    if (!record_) {
        return;
    }
    const SpeedTestRecord record = *std::exchange(record_, std::nullopt);
    if (!LeftBySpeedTest(record, systemProxy_.Capture())) {
        journal_.Remove();
        return;
    }
    systemProxy_.Restore(record.before);
    if (systemProxy_.Capture() == record.before) {
        journal_.Remove();
    }
}

std::optional<QString> SpeedTestSession::Recover() {
    const SpeedTestJournal::Reading reading = journal_.Read();
    switch (reading.found) {
    case SpeedTestJournal::Found::Nothing:
    case SpeedTestJournal::Found::InUse:
        return std::nullopt;
    case SpeedTestJournal::Found::Damaged:
        // Nothing in it can be trusted, so the store is not touched.
        journal_.Remove();
        return QStringLiteral("上次测速的记录已损坏,已删除,代理设置未恢复.");
    case SpeedTestJournal::Found::Record:
        break;
    }
    const SpeedTestRecord& record = *reading.record;
    if (!LeftBySpeedTest(record, systemProxy_.Capture())) {
        journal_.Remove(); // the setting was changed since: it is the user's now
        return QStringLiteral("上次测速未正常结束,代理设置已被更改,保持不变.");
    }
    systemProxy_.Restore(record.before);
    if (systemProxy_.Capture() != record.before) {
        return QStringLiteral("上次测速未正常结束,测速前的代理设置恢复失败.");
    }
    journal_.Remove();
    return QStringLiteral("上次测速未正常结束,已恢复测速前的") + ShownSetting(record.before);
}

} // namespace kestrovan
