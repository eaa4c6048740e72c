#include "proxyswitch/ProxyStatus.h"

#include "platform/InternetSettings.h"
#include "text/AnsiText.h"

namespace kestrovan {

QString RegValueText(const std::optional<RegValue>& value) {
    if (!value) {
        return {};
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        return QString::number(*number);
    }
    const std::string& bytes = std::get<std::string>(*value);
    return FromAnsi(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QString ProxyStatusCaption(const std::optional<RegValue>& proxyServer,
                           const std::optional<RegValue>& proxyEnable) {
    if (ProxyEnableReadsAsOff(proxyEnable)) {
        return QStringLiteral("代理状态:关闭");
    }
    return QStringLiteral("代理状态:启用 ") + RegValueText(proxyServer);
}

} // namespace kestrovan
