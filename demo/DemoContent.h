#pragma once

#include "ProgramIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrovan {

// The pages of the demo home site. The proxy-list page renders as a short preamble without any
// "1" or "ok", then one line per entry: its number, the entry, "ok".
class DemoContent {
public:
    explicit DemoContent(QStringList proxyEntries = DefaultProxyEntries());

    // Loopback addresses only: the working proxy 127.0.0.1:8080, the slow one 127.0.0.1:8081, a
    // dead 127.0.0.1:8089 and a few more where nothing listens.
    static QStringList DefaultProxyEntries();

    const QStringList& ProxyEntries() const { return proxyEntries_; }
    QByteArray HomePage() const;
    QByteArray ProxyListPage() const;
    // The body text a browser shows for ProxyListPage().
    QString ProxyListText() const;
    // The version file names the program's own version: the program built with the demo is current.
    QByteArray VersionText() const { return ProgramIdentity::PublishedVersionText().toUtf8(); }
    QByteArray AdvertisingPage() const;

private:
    QStringList proxyEntries_;
};

} // namespace kestrovan
