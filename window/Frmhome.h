#pragma once

#include "check/ListCheckRun.h"
#include "lookup/LocationQueryController.h"
#include "lookup/SpeedTestController.h"
#include "lookup/SpeedTestJournal.h"
#include "platform/HttpRequest.h"
#include "platform/InternetSettingsNotifier.h"
#include "platform/MessageDialog.h"
#include "platform/PageLoader.h"
#include "platform/ProcessStarter.h"
#include "platform/ProgramTerminator.h"
#include "platform/RegistryOperations.h"
#include "platform/RegistryReader.h"
#include "platform/SaveDialog.h"
#include "platform/ScreenInfo.h"
#include "platform/Sleeper.h"
#include "proxylist/ProxyListController.h"
#include "proxyswitch/SwitchController.h"
#include "proxyswitch/SystemProxy.h"
#include "web/Endpoints.h"
#include "window/MessageLog.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class QSessionManager;

namespace kestrovan {

class ListCheck;
class ProxyWatch;

// The platform services the window works through; tests hand in fakes.
struct FrmhomeAdapters {
    RegistryOperations& registry;
    RegistryReader& registryReader;
    InternetSettingsNotifier& internetSettings;
    HttpRequestFactory& http;
    PageLoaderFactory& pageLoaders;
    MessageDialog& messageDialog;
    SaveDialog& saveDialog; // CommonDialog1
    Sleeper& sleeper;
    ProcessStarter& processStarter;
    ProgramTerminator& terminator;
    ScreenInfo& screen;
    SpeedTestJournal& speedTestJournal; // the setting from before a running speed test, on disk
};

// The program's one window: its controls, and the order in which their events run. Each event
// goes to the controller of its subsystem: the proxy list (fetch, selection, export), the switch
// and its status line, the location query, the speed test, and the check of the whole list.
class Frmhome final : public QWidget {
    Q_OBJECT
public:
    // Design sizes in twips; 15 twips are one logical pixel.
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int Pixels(int twips) { return twips / kTwipsPerPixel; }
    static constexpr int kOuterWidthTwips = 8400;
    static constexpr int kOuterHeightTwips = 6315;
    static constexpr int kClientWidthTwips = 8280;
    static constexpr int kClientHeightTwips = 5805;

    // checkSettings: the TLS target and limits of the check of the whole list (List1's menu).
    Frmhome(const FrmhomeAdapters& adapters, const Endpoints& endpoints, QWidget* parent = nullptr,
            const ListCheckSettings& checkSettings = ListCheckSettings::Configured());
    ~Frmhome() override;

    // The Load event: the start-up sequence. False when it ended the program; the window is
    // shown only after it returned true.
    bool Form_Load();

    // Switches the system proxy on (isEnable non-zero) or off, then notifies the Internet layer.
    void ChangProxy(const QString& proxyaddress, std::int16_t isEnable);

    // The message log: appends a line to List2 and selects it.
    void AppendLog(const QString& message);

    // Ends the program as OK in the close confirmation does, without asking: a running speed
    // test first gives the system proxy back as it was before the test.
    void EndAsConfirmed();
    // A request from outside to end the program (a termination signal, the end of the session).
    // During a speed test it ends the program as EndAsConfirmed() does and returns true; otherwise
    // it returns false and leaves the end to the caller.
    bool EndForSystemRequest();
    // The user signs out (QGuiApplication::commitDataRequest): asks as the close box does; Cancel
    // cancels the sign-out, OK ends the program as EndAsConfirmed() does.
    void SessionEnding(QSessionManager& manager);

protected:
    void closeEvent(QCloseEvent* event) override; // QueryUnload
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Visible controls (object names equal these member names, which is how tests find them), made
    // with the window and kept for its whole life.
    QGroupBox* const Frame1;
    QPushButton* const Command1;
    QPushButton* const Command8;
    QPushButton* const Command3;
    QPushButton* const Command2;
    QPushButton* const Command5;
    QPushButton* const Command6;
    QPushButton* const Command4;
    QListWidget* const List1;
    QGroupBox* const Frame2;
    QLabel* const lblproxymsg;
    QGroupBox* const Frame3;
    MessageLog* const List2;
    QGroupBox* const Frame4;
    QLabel* const lbltitle;
    QLabel* const lblversion;
    const std::array<QLabel*, 4> lblmsg1;

    // The hidden work area: never shown, kept for its roles and states.
    QTimer* const Timer1; // 1000 ms, status monitor
    QTimer* const Timer5; // 100 ms, speed test ticks
    const std::unique_ptr<PageLoader> WebBrowser1;
    const std::unique_ptr<PageLoader> WebBrowser2;
    const std::unique_ptr<PageLoader> WebBrowser3;
    const std::unique_ptr<PageLoader> WebBrowser4;

    void ArrangeControls();
    void BuildControllers(const ListCheckSettings& checkSettings);
    void ConnectHandlers();

    void CenterWindow();
    void Command4_Click();
    // The close confirmation; true when the user chose OK and the program was ended.
    bool AskToEnd();

    // List1's context menu: the check of the whole list.
    void BuildList1Menu();
    void ShowList1Menu(const QPoint& position);

    FrmhomeAdapters adapters_;
    Endpoints endpoints_;
    SystemProxy systemProxy_;
    std::unique_ptr<ProxyListController> proxyList_;
    std::unique_ptr<SwitchController> proxySwitch_;
    std::unique_ptr<LocationQueryController> locationQuery_;
    std::unique_ptr<SpeedTestController> speedTest_;
    std::unique_ptr<ListCheck> listCheck_;
    std::unique_ptr<ProxyWatch> proxyWatch_; // after what it watches with, so it goes first
    QMenu* list1Menu_ = nullptr;
};

} // namespace kestrovan
