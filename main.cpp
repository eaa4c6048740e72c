// Kestrovan: starts the window with the platform's adapters and runs its start-up sequence.
#include "ProgramIdentity.h"
#include "lookup/SpeedTestJournal.h"
#include "lookup/SpeedTestSession.h"
#include "platform/NativePlatform.h"
#include "platform/qt/QtTranslation.h"
#include "proxyswitch/SystemProxy.h"
#include "web/Endpoints.h"
#include "web/NetworkHttpRequest.h"
#include "web/NetworkPageLoader.h"
#include "window/Frmhome.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrovan"));
    QApplication::setApplicationVersion(kestrovan::ProgramIdentity::VersionText());
    QApplication::setDesktopFileName(QStringLiteral("kestrovan"));
    // Buttons of the boxes read 确定 and 取消 like the rest of the window.
    kestrovan::InstallQtTranslation();

    const auto platform = kestrovan::CreateNativePlatform();
    kestrovan::NetworkHttpRequestFactory http;
    kestrovan::NetworkPageLoaderFactory pageLoaders(*platform->registryReader);
    kestrovan::SpeedTestJournal speedTestJournal(kestrovan::SpeedTestJournal::FileIn(platform->stateFolder));
    // The uninstaller's first step: the setting of a speed test that never ended is given back,
    // as at a start, with no window. Exit status 0 when no record is left.
    if (QApplication::arguments().contains(QStringLiteral("--recover-only"))) {
        kestrovan::SystemProxy systemProxy(*platform->registry, *platform->registryReader,
                                           *platform->internetSettings, *platform->messageDialog);
        kestrovan::SpeedTestSession(systemProxy, speedTestJournal).Recover();
        return speedTestJournal.Read().found == kestrovan::SpeedTestJournal::Found::Nothing ? 0 : 1;
    }
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
                                              *platform->screen,
                                              speedTestJournal};
    kestrovan::Frmhome window(adapters, kestrovan::Endpoints::Configured());
    platform->watchEndRequests([&window] { return window.EndForSystemRequest(); });
    platform->attachWindow(&window);
    if (!window.Form_Load()) {
        return 0;
    }
    // Lines the platform had to say during start-up follow the log's first line.
    platform->attachMessageLog([&window](const QString& line) { window.AppendLog(line); });
    window.show();
    // Set once the window is mapped: loading the image would only delay it.
    QApplication::setWindowIcon(QIcon(QPixmap(QStringLiteral(":/kestrovan/kestrovan-64.png"))));
    window.setWindowIcon(QApplication::windowIcon());
    return QApplication::exec();
}
