#pragma once

#include <QString>

namespace kestrovan {

// Every remote address the program uses: one of the two base addresses and a fixed path.
struct Endpoints {
    QString homeBase;   // "http://" host[:port], no trailing "/"
    QString lookupBase; // likewise

    // The base addresses this build was configured with.
    static Endpoints Configured();

    QString HomePage() const { return homeBase; }
    QString VersionFile() const { return homeBase + QStringLiteral("/version/kestrovan.txt"); }
    QString ProxyListPage() const { return homeBase + QStringLiteral("/kestrovan.htm"); }
    QString AdvertisingPage() const { return homeBase + QStringLiteral("/Advertising.htm"); }
    QString CityProbe() const { return lookupBase + QStringLiteral("/ip2city.asp"); }
    QString IpsProbe() const { return lookupBase + QStringLiteral("/ips.asp"); }
    // The lookup result page of ip. The ip comes from a remote page: every character outside
    // the unreserved URL set is percent-encoded, so it can never change the address around it.
    QString LocationResultPage(const QString& ip) const;
};

} // namespace kestrovan
