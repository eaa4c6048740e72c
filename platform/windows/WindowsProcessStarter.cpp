#include "platform/windows/WindowsProcessStarter.h"

#include "platform/windows/WindowsLauncher.h"
#include "text/AnsiText.h"

namespace kestrovan {

bool WindowsProcessStarter::OpenInWebBrowser(const QString& url) {
    // The ANSI call takes the system code page.
    const QByteArray ansi = ToAnsiBytes(url);
    return OpenWithExplorer(std::string_view(ansi.constData(), static_cast<std::size_t>(ansi.size())));
}

} // namespace kestrovan
