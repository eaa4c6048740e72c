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

std::optional<QString> SpeedTestSession::SwitchTo(const QString& tested, std::optional<QString>& recovered) {
    if (pending_ && !record_) {
        std::optional<QString> line = Recover();
        if (pending_) {
            return QStringLiteral("上次测速前的代理设置尚未恢复,本次测速未进行.");
        }
        recovered = std::move(line);
    }
    std::optional<ProxySettingsSnapshot> before = record_ ? record_->before : systemProxy_.CaptureChecked();
    if (!before) {
        // A setting that was not read would be given back as absent.
        return QStringLiteral("测速前的代理设置无法读取,本次测速未进行.");
    }
    SpeedTestRecord record{*before, ToAnsi(tested)};
    switch (journal_.Write(record)) {
    case SpeedTestJournal::Kept::Yes:
        break;
    case SpeedTestJournal::Kept::InUseElsewhere:
        return QStringLiteral("另一个程序正在测速,本次测速未进行.");
    case SpeedTestJournal::Kept::CannotLock:
        return QStringLiteral("测速记录无法加锁,本次测速未进行.");
    case SpeedTestJournal::Kept::No:
        return QStringLiteral("测速前的代理设置无法保存,本次测速未进行.");
    }
    record_ = std::move(record);
    systemProxy_.ChangProxy(tested, -1);
    return std::nullopt;
}

std::optional<QString> SpeedTestSession::GiveBack() {
    if (!record_) {
        return std::nullopt;
    }
    SpeedTestRecord record = *std::exchange(record_, std::nullopt);
    const std::optional<ProxySettingsSnapshot> current = systemProxy_.CaptureChecked();
    if (!current) {
        pending_ = true; // an unread setting is not the user's newer one: the journal stays
        return QStringLiteral("代理设置无法读取,测速前的代理设置稍后恢复.");
    }
    if (!LeftBySpeedTest(record, *current)) {
        journal_.Remove();
        return std::nullopt;
    }
    record.restoring = true;
    journal_.Write(record); // without the mark a restore cut short reads as the user's setting
    systemProxy_.Restore(record.before);
    if (systemProxy_.CaptureChecked() != record.before) {
        pending_ = true;
        return std::nullopt;
    }
    journal_.Remove();
    return std::nullopt;
}

std::optional<QString> SpeedTestSession::Recover() {
    pending_ = false;
    const SpeedTestJournal::Reading reading = journal_.Read();
    switch (reading.found) {
    case SpeedTestJournal::Found::Nothing:
        return std::nullopt;
    case SpeedTestJournal::Found::InUse:
        return QStringLiteral("另一个程序正在测速,测速记录未检查.");
    case SpeedTestJournal::Found::CannotLock:
        return QStringLiteral("测速记录无法加锁,代理设置未恢复.");
    case SpeedTestJournal::Found::Damaged:
        // Nothing in it can be trusted, so the store is not touched.
        if (!journal_.Remove()) {
            return QStringLiteral("上次测速的记录已损坏,无法删除,代理设置未恢复.");
        }
        return QStringLiteral("上次测速的记录已损坏,已删除,代理设置未恢复.");
    case SpeedTestJournal::Found::Record:
        break;
    }
    SpeedTestRecord record = *reading.record;
    const std::optional<ProxySettingsSnapshot> current = systemProxy_.CaptureChecked();
    if (!current) {
        pending_ = true; // kept, and held, until the store can be read
        return QStringLiteral("上次测速未正常结束,代理设置无法读取,测速记录已保留,稍后恢复.");
    }
    if (!LeftBySpeedTest(record, *current)) {
        journal_.Remove(); // the setting was changed since: it is the user's now
        return QStringLiteral("上次测速未正常结束,代理设置已被更改,保持不变.");
    }
    if (!record.restoring) {
        record.restoring = true;
        journal_.Write(record);
    }
    systemProxy_.Restore(record.before);
    if (systemProxy_.CaptureChecked() != record.before) {
        pending_ = true;
        return QStringLiteral("上次测速未正常结束,测速前的代理设置恢复失败.");
    }
    journal_.Remove();
    return QStringLiteral("上次测速未正常结束,已恢复测速前的") + ShownSetting(record.before);
}

} // namespace kestrovan
