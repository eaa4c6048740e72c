// Start-up on the real request component against a home site and a lookup service on loopback
// ports: the window opens with its one log line when the version file matches, and takes the
// expiry path when it does not.
#include "demo/SiteServer.h"
#include "tests/integration/StoreWindow.h"

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

struct VersionCase {
    const char* name;
    QByteArray published;
    bool opens;
};

void PrintTo(const VersionCase& c, std::ostream* out) {
    *out << c.name;
}

class StartupEndToEnd : public ::testing::TestWithParam<VersionCase> {};

TEST_P(StartupEndToEnd, ProbesInOrderAndOpensOnlyForItsOwnVersion) {
    StoreWindow w;
    RealWebWindow& rig = w.rig;
    rig.ServeHealthySites();
    rig.home->SetAnswer(QStringLiteral("/version/kestrovan.txt"),
                        Answer(200, GetParam().published, "text/plain"));
    // The probes in the order the two servers received them.
    QStringList probes;
    const auto record = [&probes](const QString& server) {
        return [&probes, server](const RecordedRequest& request, int) {
            if (request.HasHeader("If-Modified-Since")) {
                probes << server + QString::fromUtf8(request.target);
            }
        };
    };
    QObject::connect(rig.home.get(), &SiteServer::RequestReceived, record(QStringLiteral("home ")));
    QObject::connect(rig.lookup.get(), &SiteServer::RequestReceived, record(QStringLiteral("lookup ")));
    QStringList openedWhenBoxShown;
    rig.messageDialog.OnShow([&](const ShownMessage&) { openedWhenBoxShown = rig.processStarter.Opened(); });

    const bool opened = rig.window->Form_Load();

    EXPECT_EQ(opened, GetParam().opens);
    EXPECT_EQ(probes, QStringList({QStringLiteral("lookup /ip2city.asp"), QStringLiteral("home /"),
                                   QStringLiteral("home /version/kestrovan.txt")}));
    EXPECT_EQ(rig.Log(), QStringList{QStringLiteral("程序初始化成功......")});
    if (GetParam().opens) {
        EXPECT_TRUE(rig.messageDialog.Shown().empty());
        EXPECT_TRUE(rig.processStarter.Opened().isEmpty());
        EXPECT_EQ(rig.terminator.Ends(), 0);
        EXPECT_EQ(rig.Ui().Text("lblmsg1_3"), QStringLiteral("主页 ") + rig.home->BaseUrl());
    } else {
        ASSERT_EQ(rig.messageDialog.Shown().size(), 1u);
        const ShownMessage& box = rig.messageDialog.Shown().front();
        EXPECT_EQ(box.text, QStringLiteral("您使用的版本已过期,请下载最新版本。"));
        EXPECT_EQ(box.title, QStringLiteral("升级提示"));
        EXPECT_EQ(box.icon, MessageIcon::Question);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_TRUE(openedWhenBoxShown.isEmpty()) << "the home page opens after the box is closed";
        EXPECT_EQ(rig.processStarter.Opened(), QStringList{rig.home->BaseUrl()});
        EXPECT_EQ(rig.terminator.Ends(), 1);
    }
    // The hidden advertising load went to the home site like any page load.
    EXPECT_TRUE(WaitFor([&] { return RealWebWindow::Count(*rig.home, "/Advertising.htm") == 1; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Versions, StartupEndToEnd,
                         ::testing::Values(VersionCase{"Current", "1.5", true},
                                           VersionCase{"Older", "1.4", false},
                                           VersionCase{"CurrentWithLineBreak", "1.5\r\n", false},
                                           VersionCase{"CurrentAfterByteOrderMark",
                                                       "\xEF\xBB\xBF"
                                                       "1.5",
                                                       false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestrovan::test
