#pragma once

#include "demo/SiteAnswer.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

namespace kestrovan {

class DemoContent;
struct LookupOptions;

// A small HTTP/1.1 server on loopback for the demo program and the tests: fixed or computed
// answers per path, misbehaviour on request (see SiteAnswer), a log of every request. Every
// answer closes its connection. An unknown path answers 404.
class SiteServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    using AnswerFunction = std::function<SiteAnswer(const RecordedRequest&)>;

    explicit SiteServer(QObject* parent = nullptr);

    // Listens on `address`; port 0 picks a free port. False (see ErrorString) when it cannot.
    bool Listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    QString ErrorString() const { return errorString_; }
    quint16 Port() const { return port_; }
    QString BaseUrl() const; // "http://127.0.0.1:PORT", no trailing "/"

    // The answer for an exact path; the query is ignored. Replaces any earlier answer for it.
    void SetAnswer(const QString& path, SiteAnswer answer);
    // An answer computed per request, for an exact path.
    void SetHandler(const QString& path, AnswerFunction handler);
    // The answer for an exact path and query ("/ips.asp?ip=1.2.3.4&action=2"); it wins over the
    // path's answer.
    void SetQueryAnswer(const QString& pathAndQuery, SiteAnswer answer);
    void RemoveAnswer(const QString& path);

    // The home site's pages: "/", "/kestrovan.htm", "/version/kestrovan.txt", "/Advertising.htm".
    void ServeHomeSite(const DemoContent& content);
    // The lookup service's pages: "/ip2city.asp", "/ips.asp" and its result pages
    // "/ips.asp?ip=IP&action=2". Calling it again replaces the options.
    void ServeLookupService(const LookupOptions& options);
    void ServeLookupService();

    QList<RecordedRequest> Requests() const { return requests_; }
    void ClearRequests() { requests_.clear(); }

signals:
    // After each request has been matched to its answer (before any delay of that answer).
    void RequestReceived(const kestrovan::RecordedRequest& request, int status);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    SiteAnswer AnswerFor(const RecordedRequest& request) const;

    quint16 port_ = 0;
    QString errorString_;
    QHash<QString, AnswerFunction> handlers_;
    QHash<QString, SiteAnswer> queryAnswers_;
    QList<RecordedRequest> requests_;
};

} // namespace kestrovan
