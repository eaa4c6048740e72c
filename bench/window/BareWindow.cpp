// bench_bare_window: the program window's widgets (four frames, seven buttons, two list boxes,
// seven labels, same captions and geometry) in a plain Qt Widgets window with none of the
// program's logic: no platform adapters, no registry, no timers, no page loaders, no HTTP.
// It is the baseline for the start time and resident memory of the real window.
#include "ProgramIdentity.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <array>

namespace {

constexpr int kTwipsPerPixel = 15;

QRect TwipsRect(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

template <typename Widget> Widget* Place(Widget* widget, const QRect& geometry) {
    widget->setGeometry(geometry);
    return widget;
}

void BuildWidgets(QWidget& window) {
    window.setFixedSize(8280 / kTwipsPerPixel, 5805 / kTwipsPerPixel);

    auto* frame1 =
        Place(new QGroupBox(QStringLiteral("程序控制栏"), &window), TwipsRect(120, 120, 4095, 5535));
    const std::array<QString, 7> buttons{QStringLiteral("获取代理"), QStringLiteral("代理测速"),
                                         QStringLiteral("查询归属"), QStringLiteral("导出代理"),
                                         QStringLiteral("启用代理"), QStringLiteral("关闭代理"),
                                         QStringLiteral("退出程序")};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        Place(new QPushButton(buttons[i], frame1),
              TwipsRect(240, 360 + static_cast<int>(i) * 720, 1050, 615));
    }
    Place(new QListWidget(frame1), TwipsRect(1560, 360, 2295, 4920));

    auto* frame2 =
        Place(new QGroupBox(QStringLiteral("代理状态栏"), &window), TwipsRect(4320, 120, 3855, 975));
    Place(new QLabel(QStringLiteral("代理状态"), frame2), TwipsRect(120, 480, 3615, 255));

    auto* frame3 =
        Place(new QGroupBox(QStringLiteral("信息提示栏"), &window), TwipsRect(4320, 1200, 3855, 2175));
    Place(new QListWidget(frame3), TwipsRect(120, 360, 3615, 1680));

    auto* frame4 =
        Place(new QGroupBox(QStringLiteral("软件信息栏"), &window), TwipsRect(4320, 3480, 3855, 2175));
    Place(new QLabel(QStringLiteral("名称 ") + kestrovan::ProgramIdentity::Title(), frame4),
          TwipsRect(240, 480, 3375, 375));
    Place(new QLabel(QStringLiteral("版本 ") + kestrovan::ProgramIdentity::VersionText(), frame4),
          TwipsRect(240, 720, 3375, 255));
    const std::array<QString, 4> about{
        QStringLiteral("功能 获取最新且有效的代理服务器."), QStringLiteral("设计 Marrowfen"),
        QStringLiteral("发布 Marrowfen Ostrelund"), QStringLiteral("主页 http://127.0.0.1:17480")};
    for (std::size_t i = 0; i < about.size(); ++i) {
        Place(new QLabel(about[i], frame4), TwipsRect(240, 960 + static_cast<int>(i) * 240, 3495, 255));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(kestrovan::ProgramIdentity::Title());

    QWidget window;
    window.setWindowTitle(kestrovan::ProgramIdentity::Title());
    BuildWidgets(window);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    window.move((screen.width() - 8400 / kTwipsPerPixel) / 2, (screen.height() - 6315 / kTwipsPerPixel) / 2);
    window.show();
    return QApplication::exec();
}
