// Fetching the proxy list (Command1 and WebBrowser1), selecting an entry and exporting the list.
#include "tests/window/ExportTestSupport.h"
#include "tests/window/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace kestrovan::test {
namespace {

const QString kFetching = QStringLiteral("代理获取中......");
const QString kNoList = QStringLiteral("代理获取失败,未找到代理列表.");
const QString kBlank = QStringLiteral("about:blank");
const QString kNothingSelected = QStringLiteral("代理启用失败,您未选择代理服务器.");

// --- fetch

using FetchTest = StartedWindowTest;

TEST_F(FetchTest, SilentHomeSiteLogsTheFailureAndKeepsTheOldList) {
    FetchList({QStringLiteral("1.1.1.1:80"), QStringLiteral("2.2.2.2:80")});
    h.http.Fail(h.endpoints.ProxyListPage());
    const qsizetype navigationsBefore = h.WebBrowser(1).Navigations().size();

    Ui().Click("Command1");

    EXPECT_EQ(NewUrls(), QStringList{kHomeBase + QStringLiteral("/kestrovan.htm")});
    EXPECT_EQ(NewLog(), QStringList{QStringLiteral("连接服务器失败,请稍候重试.")});
    EXPECT_EQ(h.Entries(), (QStringList{"1.1.1.1:80", "2.2.2.2:80"}));
    EXPECT_TRUE(Ui().IsEnabled("Command1"));
    EXPECT_EQ(h.WebBrowser(1).Navigations().size(), navigationsBefore);
}

TEST_F(FetchTest, ListPageWithEntriesIsParsedAfterThePause) {
    FetchList({QStringLiteral("old:1")});
    // Any answer counts, an error text included.
    h.http.SetBody(h.endpoints.ProxyListPage(), QStringLiteral("503 Service Unavailable"));

    Ui().Click("Command1");

    EXPECT_EQ(h.Entries(), QStringList{});
    EXPECT_FALSE(Ui().IsEnabled("Command1"));
    EXPECT_EQ(h.WebBrowser(1).Navigations().last(), h.endpoints.ProxyListPage());
    EXPECT_EQ(NewLog(), QStringList{kFetching});

    int entriesDuringPause = -1;
    h.sleeper.OnSleep([&](int) { entriesDuringPause = static_cast<int>(h.Entries().size()); });
    h.WebBrowser(1).Complete(h.endpoints.ProxyListPage(), kThreeEntryPage);

    EXPECT_EQ(NewPauses(), std::vector<int>{2000});
    EXPECT_EQ(entriesDuringPause, 0) << "the pause comes before the parse";
    EXPECT_EQ(h.Entries(), kThreeEntries);
    EXPECT_EQ(NewLog(), (QStringList{kFetching, QStringLiteral("代理获取结束,已成功获取3个. ")}));
    EXPECT_EQ(Ui().CurrentRow("List2"), h.Log().size() - 1);
    EXPECT_EQ(h.WebBrowser(1).Navigations().last(), kBlank);
    EXPECT_TRUE(Ui().IsEnabled("Command1"));
    EXPECT_TRUE(Ui().HasFocus("Command1"));

    // The blank page that follows starts nothing.
    h.WebBrowser(1).Complete(kBlank, QString());
    EXPECT_EQ(NewLog().size(), 2);
    EXPECT_EQ(NewPauses().size(), 1u);
}

TEST_F(FetchTest, ANewFetchKeepsTheSelectedProxy) {
    SelectEntry(QStringLiteral("9.9.9.9:3128"));
    h.http.SetBody(h.endpoints.ProxyListPage(), QStringLiteral("ok"));
    Ui().Click("Command1");
    h.WebBrowser(1).Complete(h.endpoints.ProxyListPage(), kThreeEntryPage);
    Ui().Click("Command5");
    EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, std::string("9.9.9.9:3128")));
}

// A completion of WebBrowser1 while a fetch is pending.
enum class Outcome { Ignored, Failed, Parsed };

struct CompletionCase {
    const char* name;
    bool listPageUrl; // the completed load is the proxy-list page itself (else about:blank)
    std::optional<QString> body;
    Outcome outcome;
};

class FetchCompletion : public StartedWindowTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(FetchCompletion, EndsTheFetchOnlyForTheListPage) {
    const CompletionCase& c = GetParam();
    h.http.SetBody(h.endpoints.ProxyListPage(), QStringLiteral("ok"));
    Ui().Click("Command1");
    ASSERT_FALSE(Ui().IsEnabled("Command1"));

    h.WebBrowser(1).Complete(c.listPageUrl ? h.endpoints.ProxyListPage() : kBlank, c.body);

    switch (c.outcome) {
    case Outcome::Ignored:
        EXPECT_EQ(NewLog(), QStringList{kFetching});
        EXPECT_FALSE(Ui().IsEnabled("Command1"));
        EXPECT_TRUE(h.sleeper.Pauses().empty());
        break;
    case Outcome::Failed:
        EXPECT_EQ(NewLog(), (QStringList{kFetching, kNoList}));
        EXPECT_TRUE(Ui().IsEnabled("Command1"));
        EXPECT_EQ(h.Entries(), QStringList{});
        EXPECT_TRUE(h.sleeper.Pauses().empty()) << "no list, no pause";
        break;
    case Outcome::Parsed:
        EXPECT_EQ(NewLog().size(), 2);
        EXPECT_TRUE(Ui().IsEnabled("Command1"));
        EXPECT_EQ(h.sleeper.Pauses(), std::vector<int>{2000});
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fetch, FetchCompletion,
    ::testing::Values(CompletionCase{"BlankPage", false, QString(), Outcome::Ignored},
                      CompletionCase{"BlankWithoutBody", false, std::nullopt, Outcome::Ignored},
                      CompletionCase{"ErrorPage", true, QStringLiteral("404 Not Found"), Outcome::Failed},
                      CompletionCase{"FailedLoadWithoutBody", true, std::nullopt, Outcome::Failed},
                      CompletionCase{"ListWithoutPort8080", true, QStringLiteral("11.2.3.4:3128ok"),
                                     Outcome::Failed},
                      CompletionCase{"ListPage", true, kThreeEntryPage, Outcome::Parsed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, ListPageWithoutListWhileIdleIsIgnored) {
    h.WebBrowser(1).Complete(h.endpoints.ProxyListPage(), QStringLiteral("nothing here"));
    EXPECT_TRUE(NewLog().isEmpty());
    EXPECT_TRUE(Ui().IsEnabled("Command1"));
}

// --- selection

struct SelectionCase {
    const char* name;
    QString entry;
    QString host;
    QString port;
};

class Selection : public StartedWindowTest, public ::testing::WithParamInterface<SelectionCase> {
protected:
    // The old entry is selected first: a later selection replaces it whole.
    void SetUp() override {
        StartedWindowTest::SetUp();
        SelectEntry({QStringLiteral("old host:old port"), GetParam().entry}, 0);
    }
    // 启用代理 switches to host:port; with no host nothing is selected.
    void Check() {
        Ui().Click("Command5");
        const SelectionCase& c = GetParam();
        if (c.host.isEmpty()) {
            EXPECT_EQ(NewLog(), QStringList{kNothingSelected});
            EXPECT_EQ(Setting("ProxyServer"), std::nullopt);
        } else {
            EXPECT_EQ(Setting("ProxyServer"), std::make_pair(kRegSz, (c.host + u':' + c.port).toStdString()));
        }
    }
};

TEST_P(Selection, ByMouseClick) {
    Ui().Select(1);
    ASSERT_EQ(Ui().CurrentRow("List1"), 1);
    Check();
}

TEST_P(Selection, ByKeyboard) {
    ASSERT_EQ(Ui().CurrentRow("List1"), 0);
    QTest::keyClick(&Ui().Find<QListWidget>("List1"), Qt::Key_Down);
    ASSERT_EQ(Ui().CurrentRow("List1"), 1);
    Check();
}

INSTANTIATE_TEST_SUITE_P(Entries, Selection,
                         ::testing::Values(SelectionCase{"HostAndPort", "10.0.0.1:8080", "10.0.0.1", "8080"},
                                           SelectionCase{"TwoColons", "a:b:c", "a", "b:c"},
                                           SelectionCase{"TrailingColon", "10.0.0.1:", "10.0.0.1", ""},
                                           SelectionCase{"LeadingColon", ":8080", "", "8080"},
                                           SelectionCase{"BlanksKept", " 10.0.0.1 : 80 ", " 10.0.0.1 ",
                                                         " 80 "},
                                           SelectionCase{"NoColonSelectsNothing", "10.0.0.1", "", ""},
                                           SelectionCase{"EmptyEntrySelectsNothing", "", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the keys: Tab into a fetched list, maybe move, then press 启用代理 with Space or Enter. The
// row that Qt makes current on the focus is no selection; the first move key selects.

struct KeysCase {
    const char* name;
    std::vector<Qt::Key> keys;
    QString enabled;               // empty: nothing is selected
    Qt::Key press = Qt::Key_Space; // Key_Enter is the keypad's
};

class KeyboardSelection : public StartedWindowTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(KeyboardSelection, TabChoosesNothingAndTheFirstMoveKeySelects) {
    FetchList(
        {QStringLiteral("10.0.0.1:8080"), QStringLiteral("10.0.0.2:3128"), QStringLiteral("10.0.0.3:80")});
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    QWidget& exit = Ui().Find("Command4");
    exit.setFocus();
    QTest::keyClick(&exit, Qt::Key_Tab);
    ASSERT_TRUE(Ui().HasFocus("List1"));
    for (const Qt::Key key : GetParam().keys) {
        QTest::keyClick(&Ui().Find("List1"), key);
    }
    QWidget& enable = Ui().Find("Command5");
    enable.setFocus();
    QTest::keyClick(&enable, GetParam().press,
                    GetParam().press == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    const QString& enabled = GetParam().enabled;
    EXPECT_EQ(Setting("ProxyServer"),
              enabled.isEmpty() ? std::nullopt
                                : std::make_optional(std::make_pair(kRegSz, enabled.toStdString())));
    EXPECT_EQ(NewLog(), enabled.isEmpty() ? QStringList{kNothingSelected} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyboardSelection,
    ::testing::Values(KeysCase{"TabAlone", {}, {}}, KeysCase{"Down", {Qt::Key_Down}, "10.0.0.1:8080"},
                      KeysCase{"DownDown", {Qt::Key_Down, Qt::Key_Down}, "10.0.0.2:3128"},
                      KeysCase{"Up", {Qt::Key_Up}, "10.0.0.1:8080"},
                      KeysCase{"End", {Qt::Key_End}, "10.0.0.3:80"},
                      KeysCase{"DownEnter", {Qt::Key_Down}, "10.0.0.1:8080", Qt::Key_Return},
                      KeysCase{"DownKeypadEnter", {Qt::Key_Down}, "10.0.0.1:8080", Qt::Key_Enter}),
    [](const auto& info) { return std::string(info.param.name); });

// --- export

TEST_F(ExportTest, DialogAsksForAPlainNameWithTheOverwritePrompt) {
    Ui().Click("Command2");
    ASSERT_EQ(h.saveDialog.Shown().size(), 1u);
    const SaveDialogOptions& options = h.saveDialog.Shown()[0];
    EXPECT_EQ(options.title, QStringLiteral("保存代理"));
    EXPECT_EQ(options.filter, QStringLiteral("文本文件(*.txt)|*.txt|word文档(*.doc)|*.doc"));
    EXPECT_TRUE(options.overwritePrompt);
}

TEST_F(ExportTest, CancelWritesNothingAndSaysNothing) {
    FetchList(kThreeEntries);
    h.saveDialog.QueueAnswer(std::nullopt);
    Ui().Click("Command2");
    EXPECT_TRUE(DirEntries().isEmpty());
    EXPECT_TRUE(NewLog().isEmpty());
}

struct ExportCase {
    const char* name;
    QStringList entries;
    QByteArray bytes;
};

class ExportBytes : public ExportTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(ExportBytes, ReplaceTheWholeFile) {
    FetchList(GetParam().entries);
    // A longer old file: nothing of it may survive behind the new text.
    WriteFile(Target(QStringLiteral("list.doc")), QByteArray(4096, 'x'));
    h.saveDialog.QueueAnswer(Target(QStringLiteral("list.doc")));

    Ui().Click("Command2");

    EXPECT_EQ(ReadAll(Target(QStringLiteral("list.doc"))), GetParam().bytes);
    EXPECT_EQ(DirEntries(), QStringList{QStringLiteral("list.doc")}) << "no name of its own, no leftovers";
    EXPECT_TRUE(NewLog().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Export, ExportBytes,
                         ::testing::Values(ExportCase{"ThreeEntries",
                                                      {"10.0.0.1:8080", "10.0.0.2:3128", "10.0.0.3:80"},
                                                      "10.0.0.1:8080\r\n10.0.0.2:3128\r\n10.0.0.3:80\r\n"},
                                           ExportCase{"EmptyList", {}, "\r\n"},
                                           ExportCase{"LeadingEmptyEntries",
                                                      {"", "", "10.0.0.1:8080", "", "b:1"},
                                                      "10.0.0.1:8080\r\n\r\nb:1\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportTest, NewFileIsCreated) {
    FetchList({QStringLiteral("1.2.3.4:80")});
    h.saveDialog.QueueAnswer(Target());
    Ui().Click("Command2");
    EXPECT_EQ(ReadAll(Target()), QByteArray("1.2.3.4:80\r\n"));
}

TEST_F(ExportTest, DirectoryThatDoesNotExistIsReported) {
    FetchList(kThreeEntries);
    h.saveDialog.QueueAnswer(dir.filePath(QStringLiteral("missing/proxies.txt")));
    Ui().Click("Command2");
    EXPECT_EQ(NewLog(), QStringList{kExportFailed});
    EXPECT_TRUE(DirEntries().isEmpty());
}

} // namespace
} // namespace kestrovan::test
