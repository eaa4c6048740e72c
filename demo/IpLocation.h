#pragma once

#include <QString>

namespace kestrovan {

// Where the demo lookup service says an address is located: a fixed label for loopback, private,
// link-local and documentation ranges, a province or city for a few public ranges,
// "未知地区" for the rest and "无效的IP地址" for any text that is not a dotted IPv4 address or
// an IPv6 address. Only the text is looked at; nothing is resolved.
QString LocationOfIp(const QString& ipText);

} // namespace kestrovan
