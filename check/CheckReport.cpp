#include "check/CheckReport.h"

#include "lookup/DelayText.h"
#include "text/ShownText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrovan {
namespace {

struct FailureNames {
    const char* key;          // in the JSON list
    std::u16string_view text; // in the table
};

// In the order of CheckFailure.
constexpr std::array<FailureNames, 8> kFailureNames{{
    {"unusable-entry", u"代理格式错误"},
    {"refused", u"连接被拒绝"},
    {"timed-out", u"连接超时"},
    {"error-status", u"代理返回错误状态"},
    {"no-marker", u"页面无查询结果"},
    {"too-large", u"页面过大"},
    {"broken", u"连接中断"},
    {"local-limit", u"本机连接数不足"},
}};

// In the order of HttpsSupport.
constexpr std::array<FailureNames, 4> kHttpsNames{{
    {"not-checked", u"未检测"},
    {"supported", u"支持"},
    {"unsupported", u"不支持"},
    {"intercepted", u"证书异常"},
}};
// The widest of them on a terminal, where a CJK character takes two columns.
constexpr qsizetype kHttpsColumnWidth = 14;

const FailureNames& NamesOf(CheckFailure failure) {
    return kFailureNames.at(static_cast<std::size_t>(failure));
}

const FailureNames& NamesOf(HttpsSupport https) {
    return kHttpsNames.at(static_cast<std::size_t>(https));
}

QString HttpsText(HttpsSupport https) {
    return QStringLiteral("HTTPS ") + HttpsWord(https);
}

// Padded to the column on a terminal: CJK characters take two columns there.
QString PaddedToColumns(const QString& text, qsizetype columns) {
    qsizetype used = 0;
    for (const QChar c : text) {
        used += c.unicode() >= 0x1100 ? 2 : 1;
    }
    return text + QString(std::max<qsizetype>(columns - used, 0), u' ');
}

// Characters that must not reach a reader of the JSON raw: controls and whatever moves, hides or
// reorders text on screen. JSON's syntax is ASCII, so they can only stand inside strings, where
// each UTF-16 half of one becomes its own \u escape.
QByteArray EscapedJson(const QByteArray& json) {
    const QString text = QString::fromUtf8(json);
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const qsizetype units = pair ? 2 : 1;
        if (c != u'\n' && IsInvisibleOrControl(c)) {
            for (qsizetype unit = i; unit < i + units; ++unit) {
                escaped += QStringLiteral("\\u%1").arg(text[unit].unicode(), 4, 16, QLatin1Char('0'));
            }
        } else {
            escaped += text.mid(i, units);
        }
        i += units - 1;
    }
    return escaped.toUtf8();
}

QString Delay(const CheckResult& result) {
    return QString::fromStdString(DelayText(static_cast<float>(result.ticks)));
}

// An entry comes from a remote page: escape sequences in it must not reach the terminal.
QString ShownEntry(const std::u16string& entry) {
    return ShownText(QString::fromStdU16String(entry), ShownIn::Terminal);
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

QString HttpsWord(HttpsSupport https) {
    return QString::fromStdU16String(std::u16string(NamesOf(https).text));
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
    QString table = QStringLiteral("代理").leftJustified(width - 2) + QStringLiteral("  ") +
                    PaddedToColumns(QStringLiteral("HTTPS"), kHttpsColumnWidth) + QStringLiteral("  结果\n");
    int working = 0;
    int intercepted = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const CheckedEntry& checked = ordered[static_cast<std::size_t>(i)];
        intercepted += checked.result.https == HttpsSupport::Intercepted ? 1 : 0;
        table += shown[i].leftJustified(width) + QStringLiteral("  ") +
                 PaddedToColumns(HttpsText(checked.result.https), kHttpsColumnWidth) + QStringLiteral("  ");
        if (checked.result.failure) {
            table += QStringLiteral("失败:") + FailureText(checked.result);
        } else {
            ++working;
            table += QStringLiteral("延时:") + Delay(checked.result) + QStringLiteral("秒");
        }
        table += u'\n';
    }
    table += QStringLiteral("检测结束,共%1个,可用%2个.\n").arg(ordered.size()).arg(working);
    if (intercepted > 0) {
        table +=
            QStringLiteral("警告: %1个代理的HTTPS证书异常, 可能在截取加密连接, 请勿经由它们访问HTTPS网站.\n")
                .arg(intercepted);
    }
    return table;
}

QByteArray ReportJson(std::span<const CheckedEntry> ordered) {
    QJsonArray list;
    for (const CheckedEntry& checked : ordered) {
        QJsonObject object{{QStringLiteral("entry"), QString::fromStdU16String(checked.entry)},
                           {QStringLiteral("working"), !checked.result.failure},
                           {QStringLiteral("https"), QLatin1String(NamesOf(checked.result.https).key)}};
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
    return EscapedJson(QJsonDocument(list).toJson(QJsonDocument::Indented));
}

std::vector<std::u16string> WorkingEntries(std::span<const CheckedEntry> ordered, bool httpsOnly) {
    std::vector<std::u16string> entries;
    for (const CheckedEntry& checked : ordered) {
        if (!checked.result.failure && (!httpsOnly || checked.result.https == HttpsSupport::Supported)) {
            entries.push_back(checked.entry);
        }
    }
    return entries;
}

} // namespace kestrovan
