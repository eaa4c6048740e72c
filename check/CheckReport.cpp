#include "check/CheckReport.h"

#include "lookup/DelayText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxShownEntryLength = 60;

const char* FailureKey(CheckFailure failure) {
    switch (failure) {
    case CheckFailure::UnusableEntry:
        return "unusable-entry";
    case CheckFailure::Refused:
        return "refused";
    case CheckFailure::TimedOut:
        return "timed-out";
    case CheckFailure::ErrorStatus:
        return "error-status";
    case CheckFailure::NoMarker:
        return "no-marker";
    case CheckFailure::TooLarge:
        return "too-large";
    case CheckFailure::Broken:
        return "broken";
    }
    return "broken";
}

QString Delay(const CheckResult& result) {
    return QString::fromStdString(DelayText(static_cast<float>(result.ticks)));
}

// An entry as it may be shown on a terminal: it comes from a remote page, so control characters
// (escape sequences among them) are replaced and a long one is cut.
QString ShownEntry(const std::u16string& entry) {
    QString shown = QString::fromStdU16String(entry);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            c = u'?';
        }
    }
    if (shown.size() > kMaxShownEntryLength) {
        shown = shown.left(kMaxShownEntryLength - 3) + QStringLiteral("...");
    }
    return shown;
}

} // namespace

std::vector<CheckedEntry> ReportOrder(std::vector<CheckedEntry> checked) {
    std::stable_sort(checked.begin(), checked.end(), [](const CheckedEntry& a, const CheckedEntry& b) {
        const bool aWorks = !a.result.failure;
        const bool bWorks = !b.result.failure;
        if (aWorks != bWorks) {
            return aWorks;
        }
        return aWorks && a.result.ticks < b.result.ticks;
    });
    return checked;
}

QString FailureText(const CheckResult& result) {
    switch (result.failure.value_or(CheckFailure::Broken)) {
    case CheckFailure::UnusableEntry:
        return QStringLiteral("代理格式错误");
    case CheckFailure::Refused:
        return QStringLiteral("连接被拒绝");
    case CheckFailure::TimedOut:
        return QStringLiteral("连接超时");
    case CheckFailure::ErrorStatus:
        return QStringLiteral("代理返回错误状态 %1").arg(result.status);
    case CheckFailure::NoMarker:
        return QStringLiteral("页面无查询结果");
    case CheckFailure::TooLarge:
        return QStringLiteral("页面过大");
    case CheckFailure::Broken:
        return QStringLiteral("连接中断");
    }
    return {};
}

QString ReportTable(std::span<const CheckedEntry> ordered) {
    qsizetype width = 4;
    for (const CheckedEntry& checked : ordered) {
        width = std::max(width, ShownEntry(checked.entry).size());
    }
    QString table = QStringLiteral("代理").leftJustified(width - 2) + QStringLiteral("  结果\n");
    int working = 0;
    for (const CheckedEntry& checked : ordered) {
        table += ShownEntry(checked.entry).leftJustified(width) + QStringLiteral("  ");
        if (checked.result.failure) {
            table += QStringLiteral("失败:") + FailureText(checked.result);
        } else {
            ++working;
            table += QStringLiteral("延时:") + Delay(checked.result) + QStringLiteral("秒");
        }
        table += u'\n';
    }
    table += QStringLiteral("检测结束,共%1个,可用%2个.\n").arg(ordered.size()).arg(working);
    return table;
}

QByteArray ReportJson(std::span<const CheckedEntry> ordered) {
    QJsonArray list;
    for (const CheckedEntry& checked : ordered) {
        QJsonObject object{{QStringLiteral("entry"), QString::fromStdU16String(checked.entry)},
                           {QStringLiteral("working"), !checked.result.failure}};
        if (checked.result.failure) {
            object.insert(QStringLiteral("failure"), QLatin1String(FailureKey(*checked.result.failure)));
            object.insert(QStringLiteral("reason"), FailureText(checked.result));
            if (checked.result.status != 0) {
                object.insert(QStringLiteral("status"), static_cast<qint64>(checked.result.status));
            }
        } else {
            object.insert(QStringLiteral("delay"), Delay(checked.result));
            object.insert(QStringLiteral("seconds"), checked.result.ticks / 10.0);
        }
        list.append(object);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

std::vector<std::u16string> WorkingEntries(std::span<const CheckedEntry> ordered) {
    std::vector<std::u16string> entries;
    for (const CheckedEntry& checked : ordered) {
        if (!checked.result.failure) {
            entries.push_back(checked.entry);
        }
    }
    return entries;
}

} // namespace kestrovan
