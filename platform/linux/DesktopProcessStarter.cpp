#include "platform/linux/DesktopProcessStarter.h"

#include <QProcess>

namespace kestrovan {

bool DesktopProcessStarter::OpenInWebBrowser(const QString& url) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

} // namespace kestrovan
