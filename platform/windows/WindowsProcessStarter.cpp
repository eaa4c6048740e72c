#include "platform/windows/WindowsProcessStarter.h"

#include "platform/windows/WindowsLauncher.h"

#include <QByteArray>

namespace kestrovan {

bool WindowsProcessStarter::OpenInWebBrowser(const QString& url) {
    // The ANSI call takes the system code page, which is what Qt's local 8-bit form is on Windows.
    const QByteArray ansi = url.toLocal8Bit();
    return OpenWithExplorer(std::string_view(ansi.constData(), static_cast<std::size_t>(ansi.size())));
}

} // namespace kestrovan
