#include "web/CheckVersion.h"

#include "ProgramIdentity.h"
#include "web/HttpGetText.h"

namespace kestrovan {

QString OwnVersionText() {
    return ProgramIdentity::PublishedVersionText();
}

bool CheckVersion(const Endpoints& endpoints, const VersionCheckServices& services) {
    if (HttpProbe(services.http, endpoints.HomePage()).isEmpty()) {
        services.messageDialog.Show(QStringLiteral("连接服务器失败,请稍候重试。"), QStringLiteral("失败提示"),
                                    MessageIcon::Question, MessageButtons::Ok);
        services.terminator.EndProgram();
        return false;
    }
    const QString published = HttpProbe(services.http, endpoints.VersionFile());
    if (published == OwnVersionText()) {
        return true;
    }
    services.messageDialog.Show(QStringLiteral("您使用的版本已过期,请下载最新版本。"),
                                QStringLiteral("升级提示"), MessageIcon::Question, MessageButtons::Ok);
    // A failure to start the browser is skipped: the program ends all the same.
    services.processStarter.OpenInWebBrowser(endpoints.HomePage());
    services.terminator.EndProgram();
    return false;
}

} // namespace kestrovan
