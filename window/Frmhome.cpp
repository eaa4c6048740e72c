#include "window/Frmhome.h"

#include "lookup/DelayText.h"
#include "window/ListBox.h"
#include "window/ListCheck.h"
#include "window/MessageLog.h"
#include "window/PlainToolTips.h"
#include "window/ProxyWatch.h"

#include <ProgramIdentity.h>

#include <QApplication>
#include <QKeyEvent>

namespace kestrovan {
namespace {

QRect TwipsRect(int left, int top, int width, int height) {
    return {Frmhome::Pixels(left), Frmhome::Pixels(top), Frmhome::Pixels(width), Frmhome::Pixels(height)};
}

template <typename Widget> Widget* Place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    return Place(new QGroupBox(caption, parent), name, geometry);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int top) {
    return Place(new QPushButton(caption, parent), name, TwipsRect(240, top, 1050, 615));
}

// Text starts at the top-left of the design rectangle, as the design's labels draw it. Always
// plain text: the status line shows whatever the proxy setting holds, and Qt's guess at rich text
// would load images and follow markup from it.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* label = Place(new QLabel(caption, parent), name, geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

template <typename List>
List* MakeList(List* list, const char* name, const QString& accessibleName, const QRect& geometry) {
    Place(list, name, geometry);
    list->setAccessibleName(accessibleName);
    ShowToolTipsAsPlainText(*list);
    return list;
}

std::array<QLabel*, 4> MakeAboutLabels(QWidget* parent) {
    const std::array<QString, 4> captions{QStringLiteral("功能"), QStringLiteral("设计"),
                                          QStringLiteral("发布"), QStringLiteral("主页")};
    std::array<QLabel*, 4> labels{};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const int top = 960 + static_cast<int>(i) * 240;
        const QByteArray name = "lblmsg1_" + QByteArray::number(i);
        labels[i] = MakeLabel(parent, name.constData(), captions[i], TwipsRect(240, top, 3495, 255));
    }
    return labels;
}

QTimer* MakeTimer(QObject* parent, const char* name, int intervalMs) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    return timer;
}

// The browser controls are children of the window, found by name as its widgets are. The window
// still owns them: each is deleted before the window, which takes it off its list of children.
void NameBrowser(PageLoader& browser, const char* name, QObject* window) {
    browser.setObjectName(QString::fromLatin1(name));
    browser.setParent(window);
}

} // namespace

Frmhome::Frmhome(const FrmhomeAdapters& adapters, const Endpoints& endpoints, QWidget* parent,
                 const ListCheckSettings& checkSettings)
    : QWidget(parent),
      Frame1(MakeFrame(this, "Frame1", QStringLiteral("程序控制栏"), TwipsRect(120, 120, 4095, 5535))),
      Command1(MakeButton(Frame1, "Command1", QStringLiteral("获取代理"), 360)),
      Command8(MakeButton(Frame1, "Command8", QStringLiteral("代理测速"), 1080)),
      Command3(MakeButton(Frame1, "Command3", QStringLiteral("查询归属"), 1800)),
      Command2(MakeButton(Frame1, "Command2", QStringLiteral("导出代理"), 2520)),
      Command5(MakeButton(Frame1, "Command5", QStringLiteral("启用代理"), 3240)),
      Command6(MakeButton(Frame1, "Command6", QStringLiteral("关闭代理"), 3960)),
      Command4(MakeButton(Frame1, "Command4", QStringLiteral("退出程序"), 4680)),
      List1(MakeList(new ListBox(Frame1), "List1", QStringLiteral("代理列表"),
                     TwipsRect(1560, 360, 2295, 4920))),
      Frame2(MakeFrame(this, "Frame2", QStringLiteral("代理状态栏"), TwipsRect(4320, 120, 3855, 975))),
      lblproxymsg(
          MakeLabel(Frame2, "lblproxymsg", QStringLiteral("代理状态"), TwipsRect(120, 480, 3615, 255))),
      Frame3(MakeFrame(this, "Frame3", QStringLiteral("信息提示栏"), TwipsRect(4320, 1200, 3855, 2175))),
      List2(MakeList(new MessageLog(Frame3), "List2", QStringLiteral("信息提示"),
                     TwipsRect(120, 360, 3615, 1680))),
      Frame4(MakeFrame(this, "Frame4", QStringLiteral("软件信息栏"), TwipsRect(4320, 3480, 3855, 2175))),
      lbltitle(MakeLabel(Frame4, "lbltitle", QStringLiteral("名称"), TwipsRect(240, 480, 3375, 375))),
      lblversion(MakeLabel(Frame4, "lblversion", QStringLiteral("版本"), TwipsRect(240, 720, 3375, 255))),
      lblmsg1(MakeAboutLabels(Frame4)),
      // The hidden work area holds no widgets: timers and page loaders are objects only.
      Timer1(MakeTimer(this, "Timer1", 1000)),
      Timer5(MakeTimer(this, "Timer5", static_cast<int>(kSpeedTestTick.count()))),
      WebBrowser1(adapters.pageLoaders.CreatePageLoader()),
      WebBrowser2(adapters.pageLoaders.CreatePageLoader()),
      WebBrowser3(adapters.pageLoaders.CreatePageLoader()),
      WebBrowser4(adapters.pageLoaders.CreatePageLoader()), adapters_(adapters), endpoints_(endpoints),
      systemProxy_(adapters.registry, adapters.registryReader, adapters.internetSettings,
                   adapters.messageDialog) {
    setObjectName(QStringLiteral("Frmhome"));
    NameBrowser(*WebBrowser1, "WebBrowser1", this);
    NameBrowser(*WebBrowser2, "WebBrowser2", this);
    NameBrowser(*WebBrowser3, "WebBrowser3", this);
    NameBrowser(*WebBrowser4, "WebBrowser4", this);
    setWindowTitle(ProgramIdentity::Title());
    setWindowIcon(QApplication::windowIcon());
    ArrangeControls();
    BuildControllers(checkSettings);
    ConnectHandlers();
    BuildList1Menu();
    Timer1->start();
}

Frmhome::~Frmhome() = default;

void Frmhome::ArrangeControls() {
    // The client area is held at its design size; Resize keeps it there.
    setFixedSize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
    List2->setSelectionMode(QAbstractItemView::SingleSelection);
    setTabOrder(Command1, Command8);
    setTabOrder(Command8, Command3);
    setTabOrder(Command3, Command2);
    setTabOrder(Command2, Command5);
    setTabOrder(Command5, Command6);
    setTabOrder(Command6, Command4);
    setTabOrder(Command4, List1);
    setTabOrder(List1, List2);
    Timer5->setTimerType(Qt::PreciseTimer); // each tick is a tenth of a second of measured delay
}

void Frmhome::BuildControllers(const ListCheckSettings& checkSettings) {
    const auto appendLog = [this](const QString& message) { AppendLog(message); };
    proxyList_ = std::make_unique<ProxyListController>(
        *List1, *Command1, *WebBrowser1, endpoints_,
        ProxyListController::Services{adapters_.http, adapters_.sleeper, adapters_.saveDialog}, appendLog);
    proxySwitch_ = std::make_unique<SwitchController>(*lblproxymsg, *Timer1, systemProxy_,
                                                      adapters_.registryReader, appendLog);
    locationQuery_ = std::make_unique<LocationQueryController>(*Command3, *WebBrowser3, endpoints_,
                                                               adapters_.http, adapters_.sleeper, appendLog);
    SwitchController& proxySwitch = *proxySwitch_;
    const SpeedTestController::SwitchNotices switchNotices{
        [&proxySwitch](const QString& proxy) { proxySwitch.SwitchedBySpeedTest(proxy); },
        [&proxySwitch] { proxySwitch.StopMonitor(); }, [&proxySwitch] { proxySwitch.StartMonitor(); }};
    speedTest_ = std::make_unique<SpeedTestController>(
        *Command8, *Timer5, *WebBrowser4, switchNotices, systemProxy_, endpoints_,
        SpeedTestController::Services{adapters_.registryReader, adapters_.http, adapters_.sleeper,
                                      adapters_.speedTestJournal},
        appendLog);
    listCheck_ = std::make_unique<ListCheck>(*List1, *List2, appendLog, endpoints_, checkSettings);
    proxyWatch_ = std::make_unique<ProxyWatch>(ProxyWatchParts{*List1,
                                                               *proxyList_,
                                                               *proxySwitch_,
                                                               *speedTest_,
                                                               *listCheck_,
                                                               adapters_.registry,
                                                               adapters_.registryReader,
                                                               adapters_.messageDialog,
                                                               {Command1, Command8, Command5, Command6}},
                                               endpoints_, checkSettings, appendLog);
}

void Frmhome::ConnectHandlers() {
    ProxyListController& proxyList = *proxyList_;
    SwitchController& proxySwitch = *proxySwitch_;
    LocationQueryController& locationQuery = *locationQuery_;
    SpeedTestController& speedTest = *speedTest_;
    connect(Command1, &QPushButton::clicked, this, [this, &proxyList] {
        listCheck_->Stop(); // the list it checks is about to be replaced
        proxyList.Command1_Click();
    });
    connect(Command2, &QPushButton::clicked, this, [&proxyList] { proxyList.Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this,
            [&proxyList, &locationQuery] { locationQuery.Command3_Click(proxyList.Text1()); });
    connect(Command4, &QPushButton::clicked, this, &Frmhome::Command4_Click);
    connect(Command5, &QPushButton::clicked, this,
            [&proxyList, &proxySwitch] { proxySwitch.Command5_Click(proxyList.Text1(), proxyList.Text2()); });
    connect(Command6, &QPushButton::clicked, this, [&proxySwitch] { proxySwitch.Command6_Click(); });
    connect(Command8, &QPushButton::clicked, this,
            [&proxyList, &speedTest] { speedTest.Command8_Click(proxyList.Text1(), proxyList.Text2()); });
    // A click and a selection moved with the keys both select an entry. The row that Qt makes
    // current when the list takes the focus is not selected, so focus alone chooses nothing.
    connect(List1, &QListWidget::itemSelectionChanged, this, [this, &proxyList] {
        if (!List1->selectedItems().isEmpty()) {
            proxyList.List1_Click();
        }
    });
    connect(List1, &QListWidget::itemClicked, this, [&proxyList] { proxyList.List1_Click(); });
    connect(Timer1, &QTimer::timeout, this, [&proxySwitch] { proxySwitch.Timer1_Timer(); });
    connect(Timer5, &QTimer::timeout, this, [&speedTest] { speedTest.Timer5_Timer(); });
    connect(WebBrowser1.get(), &PageLoader::DocumentComplete, this,
            [&proxyList](const QString& url) { proxyList.WebBrowser1_DocumentComplete(url); });
    connect(WebBrowser3.get(), &PageLoader::DocumentComplete, this,
            [&locationQuery](const QString& url) { locationQuery.WebBrowser3_DocumentComplete(url); });
    connect(WebBrowser4.get(), &PageLoader::DocumentComplete, this,
            [&speedTest](const QString& url) { speedTest.WebBrowser4_DocumentComplete(url); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Frmhome::SessionEnding);
}

// Enter and keypad Enter press the focused button, as Space does. Qt's buttons take Enter only
// inside dialogs and pass it on here.
void Frmhome::keyPressEvent(QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Frmhome::ChangProxy(const QString& proxyaddress, std::int16_t isEnable) {
    proxySwitch_->ChangProxy(proxyaddress, isEnable);
}

void Frmhome::AppendLog(const QString& message) {
    List2->Append(message);
}

} // namespace kestrovan
