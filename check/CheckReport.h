#pragma once

#include "check/ProxyCheck.h"

#include <QByteArray>
#include <QString>

#include <span>
#include <string>
#include <vector>

namespace kestrovan {

struct CheckedEntry {
    std::u16string entry;
    CheckResult result;
};

// The results in report order: working entries first, fastest first, then the failed ones; list
// order within the same delay and among the failures.
std::vector<CheckedEntry> ReportOrder(std::vector<CheckedEntry> checked);

// The report for a terminal: one row a proxy with its delay or why it failed, and a last line
// with the counts.
QString ReportTable(std::span<const CheckedEntry> ordered);

// The same as a JSON array, one object a proxy; text from remote pages cannot hide in it (control,
// invisible and reordering characters are escaped).
QByteArray ReportJson(std::span<const CheckedEntry> ordered);

// The entries that work (with httpsOnly, those that also carry verified HTTPS), in the given order.
std::vector<std::u16string> WorkingEntries(std::span<const CheckedEntry> ordered, bool httpsOnly = false);

// Why a check failed, in words ("连接被拒绝").
QString FailureText(const CheckResult& result);
// What the tunnel test found, in a word ("支持", "证书异常").
QString HttpsWord(HttpsSupport https);

} // namespace kestrovan
