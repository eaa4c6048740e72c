// The journal of a running speed test: the setting from before the test is on disk while the
// tested proxy is in force, so that a program that died during the test gives it back at its
// next start.
#include "window/Frmhome.h"

#include "proxyswitch/AnsiText.h"
#include "proxyswitch/ProxyStatus.h"

namespace kestrovan {
namespace {

// The status text of a setting as a log line shows it: control characters blanked, cut short.
QString ShownSetting(const ProxySettingsSnapshot& setting) {
    constexpr qsizetype kMaxShown = 200;
    QString text = ProxyStatusCaption(setting.proxyServer, setting.proxyEnable);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    return text.size() > kMaxShown ? text.left(kMaxShown) + QStringLiteral("...") : text;
}

} // namespace

void Frmhome::KeepSpeedTestRecord() {
    if (adapters_.speedTestJournal.Write({*proxyBeforeSpeedTest_, ToAnsi(CurrentProxy)})) {
        journalFailureTold_ = false;
    } else if (!journalFailureTold_) {
        journalFailureTold_ = true;
        AppendLog(QStringLiteral("测速前的代理设置无法保存,程序意外退出时将无法恢复."));
    }
}

std::optional<QString> Frmhome::RecoverSpeedTestSetting() {
    SpeedTestJournal& journal = adapters_.speedTestJournal;
    const SpeedTestJournal::Reading reading = journal.Read();
    switch (reading.found) {
    case SpeedTestJournal::Found::Nothing:
    case SpeedTestJournal::Found::InUse:
        return std::nullopt;
    case SpeedTestJournal::Found::Damaged:
        // Nothing in it can be trusted, so the store is not touched.
        journal.Remove();
        return QStringLiteral("上次测速的记录已损坏,已删除,代理设置未恢复.");
    case SpeedTestJournal::Found::Record:
        break;
    }
    const SpeedTestRecord& record = *reading.record;
    const ProxySettingsSnapshot leftByTheTest{RegValue(record.tested), RegValue(std::uint32_t{1})};
    if (CaptureProxySettings() != leftByTheTest) {
        journal.Remove(); // the setting was changed since: it is the user's now
        return QStringLiteral("上次测速未正常结束,代理设置已被更改,保持不变.");
    }
    RestoreProxySettings(record.before);
    if (CaptureProxySettings() != record.before) {
        return QStringLiteral("上次测速未正常结束,测速前的代理设置恢复失败.");
    }
    journal.Remove();
    return QStringLiteral("上次测速未正常结束,已恢复测速前的") + ShownSetting(record.before);
}

} // namespace kestrovan
