// Kestrovan: starts the window with the platform's adapters and runs its start-up sequence.
#include "platform/NativePlatform.h"
#include "web/Endpoints.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"
#include "window/ProgramIdentity.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrovan"));
    QApplication::setApplicationDisplayName(kestrovan::ProgramIdentity::Title());
    QApplication::setApplicationVersion(kestrovan::ProgramIdentity::VersionText());
    QApplication::setDesktopFileName(QStringLiteral("kestrovan"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrovan/kestrovan.svg")));

    const auto platform = kestrovan::CreateNativePlatform();
    kestrovan::NetworkHttpRequestFactory http;
    kestrovan::NetworkPageLoaderFactory pageLoaders(*platform->registryReader);
    const kestrovan::FrmhomeAdapters adapters{*platform->registry,
                                              *platform->registryReader,
                                              *platform->internetSettings,
                                              http,
                                              pageLoaders,
                                              *platform->messageDialog,
                                              *platform->saveDialog,
                                              *platform->sleeper,
                                              *platform->processStarter,
                                              *platform->terminator,
                                              *platform->screen};
    kestrovan::Frmhome window(adapters, kestrovan::Endpoints::Configured());
    platform->attachMessageLog([&window](const QString& line) { window.AppendLog(line); });
    if (!window.Form_Load()) {
        return 0;
    }
    window.show();
    return QApplication::exec();
}
