#include "check/CheckOptions.h"

#include "check/ConfiguredTrust.h"

#include "proxylist/ExtractProxyEntries.h"
#include "web/Endpoints.h"

#include <QRegularExpression>

namespace kestrovan {
namespace {

constexpr double kMaxTimeoutSeconds = 600;
constexpr std::size_t kMaxConcurrency = 20'000;

bool IsBaseAddress(const QString& text) {
    static const QRegularExpression base(QStringLiteral("^http://[^/?#\\s]+$"));
    return base.match(text).hasMatch();
}

bool IsTunnelAddress(const QString& text) {
    static const QRegularExpression tunnel(QStringLiteral("^https://[^/?#@\\s]+/$"));
    return tunnel.match(text).hasMatch();
}

} // namespace

std::variant<CheckOptions, UsageError> ParseCheckOptions(const QStringList& arguments) {
    const Endpoints configured = Endpoints::Configured();
    CheckOptions options;
    options.homeBase = configured.homeBase;
    options.lookupBase = configured.lookupBase;
    options.tunnelUrl = QStringLiteral(KESTROVAN_TUNNEL_URL);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> inlineValue;
        if (const qsizetype equals = name.indexOf(u'='); name.startsWith(QLatin1String("--")) && equals > 0) {
            inlineValue = name.mid(equals + 1);
            name.truncate(equals);
        }
        const auto value = [&]() -> std::optional<QString> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < arguments.size()) {
                return arguments[++i];
            }
            return std::nullopt;
        };
        const auto missing = [&] { return UsageError{QStringLiteral("选项 %1 缺少参数").arg(name)}; };
        const bool isSwitch = name == QLatin1String("--help") || name == QLatin1String("--json") ||
                              name == QLatin1String("--https-only");
        if (isSwitch && inlineValue) {
            // "--json=0" reads as "off" to a user; taking it as "on" would do the opposite.
            return UsageError{QStringLiteral("选项 %1 不带参数").arg(name)};
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            options.help = true;
        } else if (name == QLatin1String("--json")) {
            options.json = true;
        } else if (name == QLatin1String("--https-only")) {
            options.httpsOnly = true;
        } else if (name == QLatin1String("--tunnel")) {
            const std::optional<QString> url = value();
            if (!url || !IsTunnelAddress(*url)) {
                return UsageError{QStringLiteral("--tunnel 须为 https://主机[:端口]/ 形式的地址")};
            }
            options.tunnelUrl = *url;
        } else if (name == QLatin1String("--ca-file")) {
            options.caFile = value();
            if (!options.caFile || options.caFile->isEmpty()) {
                return missing();
            }
        } else if (name == QLatin1String("--list")) {
            options.listFile = value();
            if (!options.listFile || options.listFile->isEmpty()) {
                return missing();
            }
        } else if (name == QLatin1String("--out")) {
            options.outFile = value();
            if (!options.outFile || options.outFile->isEmpty()) {
                return missing();
            }
        } else if (name == QLatin1String("--timeout")) {
            const std::optional<QString> text = value();
            bool ok = false;
            const double seconds = text ? text->toDouble(&ok) : 0;
            if (!ok || !(seconds >= 0.1 && seconds <= kMaxTimeoutSeconds)) {
                return UsageError{
                    QStringLiteral("--timeout 须为 0.1 到 %1 之间的秒数").arg(kMaxTimeoutSeconds)};
            }
            options.timeout = std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
        } else if (name == QLatin1String("--concurrency")) {
            const std::optional<QString> text = value();
            bool ok = false;
            const qulonglong count = text ? text->toULongLong(&ok) : 0;
            if (!ok || count < 1 || count > kMaxConcurrency) {
                return UsageError{
                    QStringLiteral("--concurrency 须为 1 到 %1 之间的整数").arg(kMaxConcurrency)};
            }
            options.concurrency = static_cast<std::size_t>(count);
        } else if (name == QLatin1String("--home") || name == QLatin1String("--lookup")) {
            const std::optional<QString> base = value();
            if (!base || !IsBaseAddress(*base)) {
                return UsageError{QStringLiteral("%1 须为 http://主机[:端口] 形式的地址").arg(name)};
            }
            (name == QLatin1String("--home") ? options.homeBase : options.lookupBase) = *base;
        } else {
            return UsageError{QStringLiteral("未知的参数: %1").arg(name)};
        }
    }
    return options;
}

QByteArray ConfiguredTunnelTrust() {
    return QByteArray(kConfiguredTunnelTrust);
}

QString CheckHelpText() {
    const Endpoints configured = Endpoints::Configured();
    const CheckOptions defaults;
    return QStringLiteral(
               "用法: kestrovan-check [选项]\n"
               "\n"
               "同时检测代理列表中的全部代理, 不改动系统代理设置。每个代理的检测与主程序的\n"
               "\"代理测速\"相同: 经由该代理加载IP查询服务的结果页, 在时限内收到带有查询结果的\n"
               "页面即为可用, 延时以0.1秒为单位。\n"
               "同时, 在同一时限内, 经由该代理的CONNECT隧道与HTTPS测试地址建立TLS连接 (完整验证\n"
               "证书, 使用系统的受信任证书) 并发送一个请求, 结果为:\n"
               "  HTTPS 支持      隧道与经过验证的TLS连接都正常\n"
               "  HTTPS 不支持    CONNECT被拒绝、失败或超时\n"
               "  HTTPS 证书异常  隧道可用但证书无法验证: 代理可能在截取加密连接, 请勿使用\n"
               "  HTTPS 未检测    查询结果页的检测已失败, 或HTTPS测试地址本身没有应答, 不作判断\n"
               "\n"
               "检测之前, 不经代理直接访问IP查询服务与HTTPS测试地址各一次: IP查询服务没有应答时\n"
               "不检测代理 (退出状态2); 只有HTTPS测试地址没有应答时照常检测, 但HTTPS一律为未检测,\n"
               "带 --https-only 时则不检测代理 (退出状态2), 不会因测试地址的故障把代理算作不可用。\n"
               "\n"
               "代理来源 (默认为主页的代理列表页, 最多%1个):\n"
               "  --list 文件       从导出格式的文本文件读取, 每行一个 主机:端口 (CR LF 或 LF);\n"
               "                    文件名为 - 时从标准输入读取\n"
               "\n"
               "选项:\n"
               "  --timeout 秒      每个代理的时限 (两项检测同时进行), 默认%2\n"
               "  --concurrency 数  同时检测的代理数, 默认%3 (受本机可打开的连接数限制,\n"
               "                    每个代理占两个连接)\n"
               "  --json            以JSON输出结果 (\"https\": supported、unsupported、intercepted、\n"
               "                    not-checked)\n"
               "  --out 文件        把可用代理按延时顺序写入文件, 格式与主程序导出的相同; 没有可用\n"
               "                    代理时保留原文件不变\n"
               "  --https-only      只把HTTPS 支持的代理算作可用 (影响 --out 与退出状态)\n"
               "  --tunnel 地址     HTTPS测试地址 (https://主机[:端口]/), 默认 %6\n"
               "  --ca-file 文件    另外信任该PEM文件中的CA证书\n"
               "  --home 地址       主页地址 (http://主机[:端口]), 默认 %4\n"
               "  --lookup 地址     IP查询服务地址, 默认 %5\n"
               "  --help            显示本说明\n"
               "\n"
               "结果按延时排序, 可用的在前。失败原因: 连接被拒绝、连接超时、代理返回错误状态、\n"
               "页面无查询结果、页面过大、连接中断、代理格式错误, 以及本机连接数不足 (本机的\n"
               "问题, 不是代理的)。在终端上运行时, 标准错误输出显示进度。列表页经由环境变量\n"
               "http_proxy 所指的代理获取 (若有)。\n"
               "\n"
               "退出状态: 0 至少一个代理可用; 1 没有可用的代理; 2 参数错误、无法获取代理列表、\n"
               "无法读取CA文件、IP查询服务没有应答 (带 --https-only 时还有HTTPS测试地址没有应答)\n"
               "或无法写入文件。不带参数的选项 (--json、--https-only、--help) 不接受 =值。\n")
        .arg(kMaxProxyEntries)
        .arg(std::chrono::duration<double>(defaults.timeout).count())
        .arg(defaults.concurrency)
        .arg(configured.homeBase, configured.lookupBase, QStringLiteral(KESTROVAN_TUNNEL_URL));
}

} // namespace kestrovan
