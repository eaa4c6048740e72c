#include "demo/LookupPages.h"

#include "demo/IpLocation.h"

#include <QStringEncoder>

namespace kestrovan {
namespace {

constexpr qsizetype kMaxEchoedIpLength = 64;
const QByteArray kGbkContentType = "text/html; charset=gbk";

QString GbkPage(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"gbk\"><title>%1</title></head>\n"
                          "<body>\n%2</body></html>\n")
        .arg(title, body);
}

} // namespace

QByteArray EncodeGbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

SiteAnswer LookupProbeAnswer(const QString& title) {
    SiteAnswer answer;
    answer.contentType = kGbkContentType;
    answer.body =
        EncodeGbk(GbkPage(title, QStringLiteral("<form action=\"/ips.asp\">IP地址：<input name=\"ip\">"
                                                "<input type=\"hidden\" name=\"action\" value=\"2\">"
                                                "<input type=\"submit\" value=\"查询\"></form>\n")));
    return answer;
}

SiteAnswer LookupResultAnswer(const QString& ipText) {
    const QString location = LocationOfIp(ipText).toHtmlEscaped();
    QString echoed = ipText.left(kMaxEchoedIpLength).toHtmlEscaped();
    if (ipText.size() > kMaxEchoedIpLength) {
        echoed += QStringLiteral("...");
    }
    // Both markers sit in one text run so that nothing separates them from the location; the
    // echoed IP follows them, so that no text of the caller's can come before a marker.
    const QString body = QStringLiteral("<h2>IP地址查询结果</h2>\n<p>本站主数据：%1参考数据一：%1</p>\n"
                                        "<p>参考数据二：演示数据</p>\n<p>您查询的IP：%2</p>\n")
                             .arg(location, echoed);
    SiteAnswer answer;
    answer.contentType = kGbkContentType;
    answer.body = EncodeGbk(GbkPage(QStringLiteral("IP地址查询"), body));
    return answer;
}

SiteAnswer LookupResultWithoutMarker() {
    SiteAnswer answer;
    answer.contentType = kGbkContentType;
    answer.body = EncodeGbk(GbkPage(QStringLiteral("IP地址查询"),
                                    QStringLiteral("<p>查询过于频繁，请稍后再试。参考数据一：无</p>\n")));
    return answer;
}

} // namespace kestrovan
