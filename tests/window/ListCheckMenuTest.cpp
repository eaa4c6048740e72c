// The check of the whole list, from List1's menu, against loopback proxies (the servers need Qt's
// HTTP server, so these run on Linux only).
#include "tests/window/WindowTestSupport.h"

#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"

#include <QMenu>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

TEST(ListCheckMenuTest, CheckSortsByVerdictKeepsTheSelectionAndRemovesTheFailed) {
    SiteServer lookup;
    ASSERT_TRUE(lookup.Listen());
    lookup.ServeLookupService();
    SlowProxy proxy(300);
    ASSERT_TRUE(proxy.Listen());
    QTcpServer taken; // a port where nothing listens: taken, then given back
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    const QString refusing = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());
    taken.close();
    const QString working = QStringLiteral("127.0.0.1:%1").arg(proxy.Port());

    FrmhomeHarness h;
    h.endpoints.lookupBase = lookup.BaseUrl();
    h.RebuildWindow({QStringLiteral("https://") + refusing + u'/', {}, std::chrono::seconds(15), 1000});
    ASSERT_TRUE(h.StartUp());
    Frmhome& w = *h.window;
    w.show();
    const WindowDriver ui = h.Ui();
    h.FetchList({refusing, QStringLiteral("not an entry"), working});
    ui.Select(0);
    auto& list = ui.Find<QListWidget>("List1");
    auto* menu = w.findChild<QMenu*>(QStringLiteral("List1Menu"));
    ASSERT_NE(menu, nullptr);
    const auto enabled = [&] {
        QString states;
        for (const QAction* action : menu->actions()) {
            states += action->isEnabled() ? u'1' : u'0';
        }
        return states;
    };
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    EXPECT_EQ(enabled(), QStringLiteral("10011"));
    menu->actions()[0]->trigger();
    menu->hide();
    QTest::keyClick(&list, Qt::Key_Menu);
    EXPECT_EQ(enabled(), QStringLiteral("00111"));
    menu->hide();
    const auto logLines = h.Log().size();

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return h.Log().constLast().startsWith(QStringLiteral("检测结束")); }, 20'000));
    // The tunnel target does not answer even directly: HTTPS is not checked, and says why.
    EXPECT_EQ(h.Log().mid(logLines - 1),
              (QStringList{QStringLiteral("检测中......(3/3)"),
                           QStringLiteral("HTTPS测试地址没有应答,本次未检测HTTPS."),
                           QStringLiteral("检测结束,共3个,可用1个,支持HTTPS的0个.")}));
    EXPECT_EQ(h.Entries(), (QStringList{working, refusing, QStringLiteral("not an entry")}));
    EXPECT_TRUE(list.item(0)->toolTip().contains(
        QRegularExpression(QStringLiteral("^延时:0\\.[34]秒 HTTPS:未检测$"))))
        << list.item(0)->toolTip().toStdString();
    EXPECT_EQ(list.item(1)->data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("连接被拒绝"));
    EXPECT_EQ(list.item(2)->toolTip(), QStringLiteral("代理格式错误"));
    EXPECT_NE(list.item(1)->foreground(), list.item(0)->foreground());
    // The selected entry moved with its text: the switch and the speed test still name it.
    EXPECT_EQ(h.Entries().value(ui.CurrentRow("List1")), refusing);
    ui.Click("Command5");
    EXPECT_EQ(h.registry.Raw(kHkeyCurrentUser, kSettingsSubKey, "ProxyServer"),
              std::make_pair(kRegSz, refusing.toStdString()));

    QTest::keyClick(&list, Qt::Key_Menu);
    EXPECT_EQ(enabled(), QStringLiteral("11011"));
    menu->actions()[1]->trigger();
    EXPECT_EQ(h.Entries(), QStringList{working});

    // A lookup service that does not answer checks no proxy, and the verdicts stay.
    for (QTcpServer* server : lookup.servers()) {
        server->close();
    }
    menu->actions()[0]->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return h.Log().constLast().startsWith(QStringLiteral("IP")); }, 20'000));
    EXPECT_EQ(h.Log().mid(h.Log().size() - 2),
              (QStringList{QStringLiteral("检测已停止......(0/1)"),
                           QStringLiteral("IP查询服务没有应答,未检测代理,请稍候重试.")}));

    // A check under way ends with the window, its transfers with it.
    menu->actions()[0]->trigger();
    h.window.reset();
}

} // namespace
} // namespace kestrovan::test
