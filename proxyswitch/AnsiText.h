#pragma once

#include <QString>

#include <string>

namespace kestrovan {

// A text in the system's ANSI code page, as the registry's ANSI calls take it (UTF-8 here;
// ASCII stays unchanged).
std::string ToAnsi(const QString& text);

} // namespace kestrovan
