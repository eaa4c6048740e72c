#pragma once

#include "platform/RegistryReader.h"

#include <QString>

#include <optional>

namespace kestrovan {

// A registry value as the script host gives it to a text comparison: a number by its decimal
// digits, a text as it is, a failed read as the empty text.
QString RegValueText(const std::optional<RegValue>& value);

// The caption of the proxy status line for the values read: "代理状态:关闭" when the flag reads
// as off (ProxyEnableReadsAsOff), otherwise "代理状态:启用 " followed by the server text.
QString ProxyStatusCaption(const std::optional<RegValue>& proxyServer,
                           const std::optional<RegValue>& proxyEnable);

} // namespace kestrovan
