#include "demo/DemoContent.h"

#include <utility>

namespace kestrovan {
namespace {

// Neither text may hold a "1" or the letters "ok": a reader of the list takes the first "1" for
// the first number and an "ok" for the end of an entry.
const char* const kListTitle = "Kestrovan 演示代理列表";
const char* const kListPreamble = "以下代理均为本机回环地址，仅供演示。";
const char* const kListTrailer = "列表到此为止。";

QByteArray Page(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>\n"
                          "<body>\n%2</body></html>\n")
        .arg(title, body)
        .toUtf8();
}

} // namespace

DemoContent::DemoContent(QStringList proxyEntries) : proxyEntries_(std::move(proxyEntries)) {}

QStringList DemoContent::DefaultProxyEntries() {
    return {
        QStringLiteral("127.0.0.1:8080"), QStringLiteral("127.0.0.1:8081"), QStringLiteral("127.0.0.1:8089"),
        QStringLiteral("127.0.0.1:3128"), QStringLiteral("127.0.0.1:8000"), QStringLiteral("127.0.0.1:8888"),
        QStringLiteral("127.0.0.1:9000"),
    };
}

QByteArray DemoContent::HomePage() const {
    return Page(QStringLiteral("Kestrovan 演示主页"),
                QStringLiteral("<h1>Kestrovan 演示主页</h1>\n"
                               "<p>这是本机运行的演示站点。<a href=\"/kestrovan.htm\">代理列表</a></p>\n"));
}

QByteArray DemoContent::ProxyListPage() const {
    QString body = QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n")
                       .arg(QString::fromUtf8(kListTitle), QString::fromUtf8(kListPreamble));
    for (qsizetype i = 0; i < proxyEntries_.size(); ++i) {
        body += QString::number(i + 1) + proxyEntries_[i].toHtmlEscaped() + QStringLiteral("ok<br>\n");
    }
    body += QStringLiteral("<p>%1</p>\n").arg(QString::fromUtf8(kListTrailer));
    return Page(QString::fromUtf8(kListTitle), body);
}

QString DemoContent::ProxyListText() const {
    QString text = QString::fromUtf8(kListTitle) + u'\n' + QString::fromUtf8(kListPreamble) + u'\n';
    for (qsizetype i = 0; i < proxyEntries_.size(); ++i) {
        text += QString::number(i + 1) + proxyEntries_[i] + QStringLiteral("ok\n");
    }
    return text + QString::fromUtf8(kListTrailer);
}

QByteArray DemoContent::AdvertisingPage() const {
    return Page(QStringLiteral("广告"), QStringLiteral("<p>广告位招租</p>\n"));
}

} // namespace kestrovan
