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

bool Frmhome::KeepSpeedTestRecord(const QString& tested) {
    SpeedTestRecord record{speedTestRecord_ ? speedTestRecord_->before : CaptureProxySettings(),
                           ToAnsi(tested)};
    switch (adapters_.speedTestJournal.Write(record)) {
    case SpeedTestJournal::Kept::Yes:
        speedTestRecord_ = std::move(record);
        return true;
    case SpeedTestJournal::Kept::InUseElsewhere:
        AppendLog(QStringLiteral("另一个程序正在测速,本次测速未进行."));
        return false;
    case SpeedTestJournal::Kept::No:
        break;
    }
    AppendLog(QStringLiteral("测速前的代理设置无法保存,本次测速未进行."));
    return false;
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
    if (!LeftBySpeedTest(record, CaptureProxySettings())) {
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
