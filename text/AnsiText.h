#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <string>

namespace kestrovan {

// Text in the system's ANSI code page, as the registry's ANSI calls, the shell's ANSI calls and
// the export file take it and as list files come (UTF-8 outside Windows; ASCII stays unchanged).
QByteArray ToAnsiBytes(QStringView text);
std::string ToAnsi(QStringView text);
QString FromAnsi(QByteArrayView bytes);

} // namespace kestrovan
