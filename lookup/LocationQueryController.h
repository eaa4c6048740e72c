#pragma once

#include "platform/HttpRequest.h"
#include "platform/PageLoader.h"
#include "platform/Sleeper.h"
#include "web/Endpoints.h"

#include <QString>

#include <functional>

class QPushButton;

namespace kestrovan {

// The location query in the window: Command3 asks the lookup service where the selected host is,
// and WebBrowser3 loads the answer.
class LocationQueryController {
public:
    using AppendLog = std::function<void(const QString&)>;
    LocationQueryController(QPushButton& Command3, PageLoader& WebBrowser3, const Endpoints& endpoints,
                            HttpRequestFactory& http, Sleeper& sleeper, AppendLog appendLog);

    void Command3_Click(const QString& Text1);
    void WebBrowser3_DocumentComplete(const QString& url);

private:
    void ParseLocationPage();

    QPushButton& Command3;
    PageLoader& WebBrowser3;
    Endpoints endpoints_;
    HttpRequestFactory& http_;
    Sleeper& sleeper_;
    AppendLog appendLog_;
    QString locationQueryUrl_; // result page of the pending query
};

} // namespace kestrovan
