#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace kestrovan::test {

// The text of a proxy-list page that the program reads back as exactly these entries: the
// marker "8080" first, then each entry between its number and "ok".
inline QString ProxyListPageText(const QStringList& entries) {
    QString text = QStringLiteral("8080 proxies\n");
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].contains(QStringLiteral("ok"))) {
            std::fprintf(stderr, "an entry holding \"ok\" cannot come from a list page\n");
            std::abort();
        }
        text += QString::number(i + 1) + entries[i] + QStringLiteral("ok\n");
    }
    return text;
}

} // namespace kestrovan::test
