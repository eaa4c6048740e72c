#include "check/CheckReport.h"

#include "lookup/DelayText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxShownEntryLength = 60;

struct FailureNames {
    const char* key;          // in the JSON list
    std::u16string_view text; // in the table
};

// In the order of CheckFailure.
constexpr std::array<FailureNames, 7> kFailureNames{{
    {"unusable-entry", u"代理格式错误"},
    {"refused", u"连接被拒绝"},
    {"timed-out", u"连接超时"},
    {"error-status", u"代理返回错误状态"},
    {"no-marker", u"页面无查询结果"},
    {"too-large", u"页面过大"},
    {"broken", u"连接中断"},
}};

const FailureNames& NamesOf(CheckFailure failure) {
    return kFailureNames.at(static_cast<std::size_t>(failure));
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
    const CheckFailure failure = result.failure.value_or(CheckFailure::Broken);
    QString text = QString::fromStdU16String(std::u16string(NamesOf(failure).text));
    if (failure == CheckFailure::ErrorStatus) {
        text += u' ' + QString::number(result.status);
    }
    return text;
}

QString ReportTable(std::span<const CheckedEntry> ordered) {
    QStringList shown;
    qsizetype width = 4;
    for (const CheckedEntry& checked : ordered) {
        shown << ShownEntry(checked.entry);
        width = std::max(width, shown.constLast().size());
    }
    QString table = QStringLiteral("代理").leftJustified(width - 2) + QStringLiteral("  结果\n");
    int working = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const CheckedEntry& checked = ordered[static_cast<std::size_t>(i)];
        table += shown[i].leftJustified(width) + QStringLiteral("  ");
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
            object.insert(QStringLiteral("failure"), QLatin1String(NamesOf(*checked.result.failure).key));
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
