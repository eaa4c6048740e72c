#pragma once

#include "check/PageFetches.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace kestrovan {

// A list file (or standard input) larger than this is refused: it would be no list of proxies.
inline constexpr qint64 kMaxListFileBytes = 4 * 1024 * 1024;

// The entries of a file in the export format: one a line, CR LF or LF, 8-bit in the system's
// code page. Blank lines are skipped and blanks around an entry dropped.
std::vector<std::u16string> EntriesOfListFile(const QByteArray& bytes);

// Reads path ("-": standard input) up to the cap; nullopt when it cannot be read or is too large.
std::optional<QByteArray> ReadListFile(const QString& path);

// What the home site's list page gave: the entries, or the message for a failed fetch.
struct ListPageEntries {
    std::vector<std::u16string> entries;
    QString failure; // empty when the list was found
};

// The entries on the list page, as the window's fetch reads them, from the page's answer.
ListPageEntries EntriesOfListPage(const PageAnswer& answer);

} // namespace kestrovan
