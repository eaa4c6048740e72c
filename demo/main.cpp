// kestrovan-demo: the home site and the lookup service on loopback, and optionally a slow proxy,
// so that the program can be tried without any remote server.
#include "demo/DemoContent.h"
#include "demo/LookupPages.h"
#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"
#include "demo/TlsTarget.h"

#include "ProgramIdentity.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>
#include <QUrl>

#include <cstdio>
#include <optional>

using namespace kestrovan;

namespace {

constexpr int kPortInUseExitCode = 2;
constexpr int kUsageExitCode = 1;
constexpr qsizetype kMaxLoggedTargetBytes = 300;

quint16 DefaultPort(const char* baseUrl) {
    return static_cast<quint16>(QUrl(QString::fromLatin1(baseUrl)).port(80));
}

std::optional<int> NumberOption(const QCommandLineParser& parser, const QString& name, int max) {
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 0 || value > max) {
        std::fprintf(stderr, "--%s expects a number from 0 to %d\n", qPrintable(name), max);
        return std::nullopt;
    }
    return value;
}

// Request targets come from the network: no control characters on the console, bounded length.
QByteArray Printable(QByteArray text) {
    text.truncate(kMaxLoggedTargetBytes);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return text;
}

void LogLine(const QString& line) {
    QTextStream out(stdout);
    out << QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) << ' ' << line << Qt::endl;
}

// Listens with `listener` (SiteServer or SlowProxy) or tells why it cannot.
template <typename Listener> bool ListenOrExplain(Listener& listener, int port) {
    if (listener.Listen(static_cast<quint16>(port))) {
        return true;
    }
    std::fprintf(stderr, "port %d is in use: %s\n", port, qPrintable(listener.ErrorString()));
    return false;
}

void LogRequests(SiteServer& server, const QString& name) {
    QObject::connect(
        &server, &SiteServer::RequestReceived, &server, [name](const RecordedRequest& request, int status) {
            // One arg() call: a chained one would expand "%2" inside the target.
            LogLine(QStringLiteral("%1 %2 %3 %4 -> %5")
                        .arg(name, request.peer.toString(), QString::fromLatin1(request.method),
                             QString::fromLatin1(Printable(request.target)), QString::number(status)));
        });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrovan-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the Kestrovan demo home site and lookup service on 127.0.0.1."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("home-port"), QStringLiteral("Port of the home site."), QStringLiteral("port"),
         QString::number(DefaultPort(KESTROVAN_HOME_URL))},
        {QStringLiteral("lookup-port"), QStringLiteral("Port of the lookup service."), QStringLiteral("port"),
         QString::number(DefaultPort(KESTROVAN_LOOKUP_URL))},
        {QStringLiteral("lookup-delay-ms"), QStringLiteral("Delay of every lookup result page."),
         QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("slow-proxy-port"),
         QStringLiteral("Also run the slow proxy on this port (0: no proxy)."), QStringLiteral("port"),
         QStringLiteral("0")},
        {QStringLiteral("version-text"),
         QStringLiteral("What the version file holds (another text plays a withdrawn version)."),
         QStringLiteral("text"), ProgramIdentity::PublishedVersionText()},
        {QStringLiteral("tls-port"),
         QStringLiteral("Port of the TLS target that kestrovan-check reaches through the proxies (0: none)."),
         QStringLiteral("port"), QStringLiteral("0")},
        {QStringLiteral("tls-dir"),
         QStringLiteral("Folder of the demo certificates (scripts/demo-tls.sh makes them)."),
         QStringLiteral("folder"), QStringLiteral(KESTROVAN_DEMO_TLS_DIR)},
        {QStringLiteral("intercepting-proxy-port"),
         QStringLiteral("Also run a proxy that answers CONNECT with TLS of its own, with a certificate "
                        "of another CA (0: none)."),
         QStringLiteral("port"), QStringLiteral("0")},
        {QStringLiteral("proxy-list"),
         QStringLiteral("The entries of the proxy list, separated by commas (default: the demo's seven)."),
         QStringLiteral("entries"), DemoContent::DefaultProxyEntries().join(u',')},
        {QStringLiteral("slow-proxy-delay-ms"),
         QStringLiteral("How long the slow proxy waits before forwarding."), QStringLiteral("ms"),
         QStringLiteral("3000")},
    });
    parser.process(app);

    const auto homePort = NumberOption(parser, QStringLiteral("home-port"), 65535);
    const auto lookupPort = NumberOption(parser, QStringLiteral("lookup-port"), 65535);
    const auto lookupDelay = NumberOption(parser, QStringLiteral("lookup-delay-ms"), 600000);
    const auto proxyPort = NumberOption(parser, QStringLiteral("slow-proxy-port"), 65535);
    const auto proxyDelay = NumberOption(parser, QStringLiteral("slow-proxy-delay-ms"), 600000);
    const auto tlsPort = NumberOption(parser, QStringLiteral("tls-port"), 65535);
    const auto interceptingPort = NumberOption(parser, QStringLiteral("intercepting-proxy-port"), 65535);
    if (!homePort || !lookupPort || !lookupDelay || !proxyPort || !proxyDelay || !tlsPort ||
        !interceptingPort) {
        return kUsageExitCode;
    }
    const QString tlsDir = parser.value(QStringLiteral("tls-dir"));
    const auto identity = [&](const QString& name) {
        return LoadTlsIdentity(tlsDir + u'/' + name + QStringLiteral(".pem"),
                               tlsDir + u'/' + name + QStringLiteral(".key"));
    };
    const std::optional<TlsIdentity> targetIdentity =
        *tlsPort != 0 ? identity(QStringLiteral("target")) : std::nullopt;
    const std::optional<TlsIdentity> interceptIdentity =
        *interceptingPort != 0 ? identity(QStringLiteral("intercept")) : std::nullopt;
    if ((*tlsPort != 0 && !targetIdentity) || (*interceptingPort != 0 && !interceptIdentity)) {
        std::fprintf(stderr, "no demo certificates in %s (scripts/demo-tls.sh makes them)\n",
                     qPrintable(tlsDir));
        return kUsageExitCode;
    }

    SiteServer home;
    home.ServeHomeSite(
        DemoContent(parser.value(QStringLiteral("proxy-list")).split(u',', Qt::SkipEmptyParts)));
    SiteAnswer versionFile;
    versionFile.body = parser.value(QStringLiteral("version-text")).toUtf8().left(64);
    versionFile.contentType = "text/plain";
    home.SetAnswer(QStringLiteral("/version/kestrovan.txt"), versionFile);
    if (!ListenOrExplain(home, *homePort)) {
        return kPortInUseExitCode;
    }
    LogRequests(home, QStringLiteral("home"));

    SiteServer lookup;
    LookupOptions lookupOptions;
    lookupOptions.resultDelayMs = *lookupDelay;
    lookup.ServeLookupService(lookupOptions);
    if (!ListenOrExplain(lookup, *lookupPort)) {
        return kPortInUseExitCode;
    }
    LogRequests(lookup, QStringLiteral("lookup"));

    std::optional<SlowProxy> proxy;
    if (*proxyPort != 0) {
        proxy.emplace(*proxyDelay);
        if (!ListenOrExplain(*proxy, *proxyPort)) {
            return kPortInUseExitCode;
        }
        QObject::connect(
            &*proxy, &SlowProxy::RequestHandled, &*proxy, [](const QByteArray& line, int status) {
                LogLine(status == 0 ? QStringLiteral("slow-proxy %1 -> forwarding after the delay")
                                          .arg(QString::fromLatin1(line))
                                    : QStringLiteral("slow-proxy %1 -> %2")
                                          .arg(QString::fromLatin1(line), QString::number(status)));
            });
    }

    std::optional<TlsTarget> tlsTarget;
    if (targetIdentity) {
        tlsTarget.emplace(*targetIdentity);
        if (!ListenOrExplain(*tlsTarget, *tlsPort)) {
            return kPortInUseExitCode;
        }
        LogLine(QStringLiteral("TLS target https://127.0.0.1:%1/").arg(tlsTarget->Port()));
    }
    std::optional<SlowProxy> intercepting;
    if (interceptIdentity) {
        intercepting.emplace(0);
        intercepting->SetConnectMode(ConnectMode::Intercept, *interceptIdentity);
        if (!ListenOrExplain(*intercepting, *interceptingPort)) {
            return kPortInUseExitCode;
        }
        LogLine(QStringLiteral("intercepting proxy 127.0.0.1:%1").arg(intercepting->Port()));
    }

    LogLine(
        QStringLiteral("home site %1, lookup service %2%3")
            .arg(home.BaseUrl(), lookup.BaseUrl(),
                 proxy
                     ? QStringLiteral(", slow proxy 127.0.0.1:%1 (%2 ms)").arg(proxy->Port()).arg(*proxyDelay)
                     : QString()));
    return QCoreApplication::exec();
}
