#include "demo/SiteServer.h"

#include "demo/AnswerWriter.h"
#include "demo/DemoContent.h"
#include "demo/LookupPages.h"

#include <QHttpServerRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

namespace kestrovan {
namespace {

// A long-running demo must not grow without bound; the oldest entries go first.
constexpr qsizetype kMaxRecordedRequests = 10000;
constexpr int kRequestTimeoutMs = 30000;
const char* const kRequestGuardName = "kestrovan-request-guard";

// Gives every connection a limited time to deliver a complete request. The HTTP layer keeps a
// connection with a malformed or stalled request open for as long as the client does.
class GuardedTcpServer final : public QTcpServer {
protected:
    void incomingConnection(qintptr descriptor) override {
        auto socket = std::make_unique<QTcpSocket>();
        if (!socket->setSocketDescriptor(descriptor)) {
            return;
        }
        auto* guard = new QTimer(socket.get()); // owned by the socket
        guard->setObjectName(QLatin1String(kRequestGuardName));
        guard->setSingleShot(true);
        connect(guard, &QTimer::timeout, socket.get(), &QTcpSocket::abort);
        guard->start(kRequestTimeoutMs);
        socket->setParent(this);
        addPendingConnection(socket.release());
    }
};

QByteArray MethodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

SiteAnswer NotFound() {
    SiteAnswer answer;
    answer.status = 404;
    answer.body = "<html><body><p>404 Not Found</p></body></html>\n";
    return answer;
}

SiteAnswer Fixed(QByteArray body, QByteArray contentType = "text/html; charset=utf-8") {
    SiteAnswer answer;
    answer.body = std::move(body);
    answer.contentType = std::move(contentType);
    return answer;
}

} // namespace

QByteArray RecordedRequest::Path() const {
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

QByteArray RecordedRequest::Header(QByteArrayView name) const {
    for (const auto& [headerName, value] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool RecordedRequest::HasHeader(QByteArrayView name) const {
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

SiteServer::SiteServer(QObject* parent) : QAbstractHttpServer(parent) {}

bool SiteServer::Listen(quint16 port, const QHostAddress& address) {
    auto server = std::make_unique<GuardedTcpServer>();
    // Hundreds of checks may connect in the same instant; Qt's default queue of 50 drops the rest.
    server->setListenBacklogSize(1024);
    if (!server->listen(address, port)) {
        errorString_ = server->errorString();
        return false;
    }
    port_ = server->serverPort();
    bind(server.release()); // the HTTP server takes the TCP server as its child
    return true;
}

QString SiteServer::BaseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void SiteServer::SetAnswer(const QString& path, SiteAnswer answer) {
    handlers_.insert(path, [answer = std::move(answer)](const RecordedRequest&) { return answer; });
}

void SiteServer::SetHandler(const QString& path, AnswerFunction handler) {
    handlers_.insert(path, std::move(handler));
}

void SiteServer::SetQueryAnswer(const QString& pathAndQuery, SiteAnswer answer) {
    queryAnswers_.insert(pathAndQuery, std::move(answer));
}

void SiteServer::RemoveAnswer(const QString& path) {
    handlers_.remove(path);
}

void SiteServer::ServeHomeSite(const DemoContent& content) {
    SetAnswer(QStringLiteral("/"), Fixed(content.HomePage()));
    SetAnswer(QStringLiteral("/kestrovan.htm"), Fixed(content.ProxyListPage()));
    SetAnswer(QStringLiteral("/version/kestrovan.txt"), Fixed(content.VersionText(), "text/plain"));
    SetAnswer(QStringLiteral("/Advertising.htm"), Fixed(content.AdvertisingPage()));
}

void SiteServer::ServeLookupService() {
    ServeLookupService(LookupOptions{});
}

void SiteServer::ServeLookupService(const LookupOptions& options) {
    SetAnswer(QStringLiteral("/ip2city.asp"), LookupProbeAnswer(QStringLiteral("IP归属地查询")));
    const SiteAnswer probe = LookupProbeAnswer(QStringLiteral("IP地址查询"));
    SetHandler(QStringLiteral("/ips.asp"), [probe, options](const RecordedRequest& request) {
        const QUrlQuery query(QUrl::fromEncoded("http://host" + request.target).query(QUrl::FullyEncoded));
        if (query.queryItemValue(QStringLiteral("action")) != QLatin1String("2")) {
            return probe;
        }
        SiteAnswer answer =
            options.resultAnswer
                ? *options.resultAnswer
                : LookupResultAnswer(query.queryItemValue(QStringLiteral("ip"), QUrl::FullyDecoded));
        if (!options.delayOnlyProxied || request.HasHeader("via")) {
            answer.delayMs += options.resultDelayMs;
        }
        return answer;
    });
}

SiteAnswer SiteServer::AnswerFor(const RecordedRequest& request) const {
    if (const auto exact = queryAnswers_.constFind(QString::fromUtf8(request.target));
        exact != queryAnswers_.cend()) {
        return *exact;
    }
    if (const auto handler = handlers_.constFind(QString::fromUtf8(request.Path()));
        handler != handlers_.cend()) {
        return (*handler)(request);
    }
    return NotFound();
}

bool SiteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // A complete request arrived: from here on its answer decides how long the connection lasts.
    if (auto* guard =
            socket->findChild<QTimer*>(QLatin1String(kRequestGuardName), Qt::FindDirectChildrenOnly)) {
        guard->stop();
    }
    RecordedRequest recorded;
    recorded.method = MethodName(request.method());
    recorded.target =
        request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (recorded.target.isEmpty()) {
        recorded.target = "/";
    }
    recorded.headers = request.headers();
    recorded.body = request.body();
    recorded.peer = request.remoteAddress();

    SiteAnswer answer = AnswerFor(recorded);
    if (requests_.size() >= kMaxRecordedRequests) {
        requests_.removeFirst();
    }
    requests_.append(recorded);
    emit RequestReceived(recorded, answer.status);
    AnswerWriter::Start(socket, std::move(answer), recorded.method == "HEAD");
    return true;
}

void SiteServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Not reached: handleRequest answers every request, unknown paths with 404.
}

} // namespace kestrovan
