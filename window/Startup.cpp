// The Load event of Frmhome: the start-up sequence.
#include "window/Frmhome.h"

#include "web/CheckVersion.h"
#include "web/HttpGetText.h"
#include <ProgramIdentity.h>

namespace kestrovan {

void Frmhome::CenterWindow() {
    const QSize screen = adapters_.screen.ScreenSize();
    const int outerWidth = Pixels(kOuterWidthTwips);
    const int outerHeight = Pixels(kOuterHeightTwips);
    const int top = (screen.height() - outerHeight) / 2;
    const int left = (screen.width() - outerWidth) / 2;
    move(left, top);
}

bool Frmhome::Form_Load() {
    CenterWindow();

    lbltitle->setText(QStringLiteral("名称 ") + ProgramIdentity::Title());
    lblversion->setText(QStringLiteral("版本 ") + ProgramIdentity::VersionText());
    lblmsg1[0]->setText(QStringLiteral("功能 获取最新且有效的代理服务器."));
    lblmsg1[1]->setText(QStringLiteral("设计 Marrowfen"));
    lblmsg1[2]->setText(QStringLiteral("发布 Marrowfen Ostrelund"));
    lblmsg1[3]->setText(QStringLiteral("主页 ") + endpoints_.homeBase);

    const QString blank = QStringLiteral("about:blank");
    WebBrowser1->Navigate(blank);
    WebBrowser2->Navigate(endpoints_.AdvertisingPage());
    WebBrowser3->Navigate(blank);
    WebBrowser4->Navigate(blank);

    // Before anything can end the program: a setting a speed test left behind is given back.
    const std::optional<QString> recovered = speedTest_->Recover();
    if (HttpProbe(adapters_.http, endpoints_.CityProbe()).isEmpty()) {
        adapters_.messageDialog.Show(QStringLiteral("程序初始化失败,请稍候再试."), QStringLiteral("错误提示"),
                                     MessageIcon::Question, MessageButtons::Ok);
        adapters_.terminator.EndProgram();
        return false;
    }
    AppendLog(QStringLiteral("程序初始化成功......"));
    if (recovered) {
        AppendLog(*recovered);
    }

    return CheckVersion(endpoints_, {adapters_.http, adapters_.messageDialog, adapters_.processStarter,
                                     adapters_.terminator});
}

} // namespace kestrovan
