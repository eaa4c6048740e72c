// What remote text can and cannot make the program do: start a process only with the home site's
// base address as one argument, ask no address but the two base addresses and the proxy under
// test, write the export only where the user chose, keep the store owner-only.
#include "demo/DemoContent.h"
#include "demo/LookupPages.h"
#include "demo/SlowProxy.h"
#include "platform/linux/DesktopProcessStarter.h"
#include "platform/posix/SqliteRegistry.h"
#include "tests/faults/FaultRig.h"
#include "tests/web/NetTestSupport.h"
#include "web/CheckVersion.h"
#include "web/HttpGetText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kestrovan::test {
namespace {

// --- starting the web browser

// An "xdg-open" first on PATH that writes its arguments, each ended by a NUL byte, to a file.
class RecordingOpener {
public:
    RecordingOpener() : path_("PATH", (dir_.path() + u':' + qEnvironmentVariable("PATH")).toLocal8Bit()) {
        const QString script = dir_.filePath(QStringLiteral("xdg-open"));
        QFile file(script);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nfor argument in \"$@\"; do printf '%s\\0' \"$argument\"; done > \"" +
                   Record().toLocal8Bit() + ".part\"\nmv \"" + Record().toLocal8Bit() + ".part\" \"" +
                   Record().toLocal8Bit() + "\"\n");
        file.close();
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString Record() const { return dir_.filePath(QStringLiteral("argv")); }
    QString Dir() const { return dir_.path(); }

    // The arguments of the one start, once it has written them.
    std::optional<QStringList> Arguments() const {
        if (!WaitFor([&] { return QFile::exists(Record()); }, 5000)) {
            return std::nullopt;
        }
        QFile file(Record());
        if (!file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        QStringList arguments;
        for (const QByteArray& argument : file.readAll().split('\0')) {
            arguments << QString::fromUtf8(argument);
        }
        arguments.removeLast(); // after the last terminator
        return arguments;
    }

private:
    QTemporaryDir dir_;
    ScopedEnv path_;
};

TEST(SecurityProcessStart, AddressWithShellSyntaxArrivesAsOneUntouchedArgument) {
    RecordingOpener opener;
    const QString trap = opener.Dir() + QStringLiteral("/trapped");
    const QString url =
        QStringLiteral("http://127.0.0.1:1/a b;touch %1;$(touch %1)`touch %1`'\"|&>%1").arg(trap);

    EXPECT_TRUE(DesktopProcessStarter().OpenInWebBrowser(url));

    EXPECT_EQ(opener.Arguments(), QStringList{url});
    EXPECT_FALSE(QFile::exists(trap)) << "a shell read the address";
}

TEST(SecurityProcessStart, ExpiredVersionOpensTheHomeBaseAddressAloneWhateverTheSiteSends) {
    RecordingOpener opener;
    const QString trap = opener.Dir() + QStringLiteral("/trapped");
    SiteServer home;
    ASSERT_TRUE(home.Listen());
    const QByteArray hostile = "1.4\n$(touch " + trap.toUtf8() + ");xdg-open http://127.0.0.1:9/\n";
    home.SetAnswer(QStringLiteral("/"), Answer(200, "<a href=\"http://127.0.0.1:9/\">" + hostile + "</a>"));
    home.SetAnswer(QStringLiteral("/version/kestrovan.txt"), Answer(200, hostile, "text/plain"));
    NetworkHttpRequestFactory http;
    FakeMessageDialog dialog;
    DesktopProcessStarter starter;
    FakeTerminator terminator;
    const Endpoints endpoints{home.BaseUrl(), QStringLiteral("http://127.0.0.1:1")};

    EXPECT_FALSE(CheckVersion(endpoints, {http, dialog, starter, terminator}));

    EXPECT_EQ(opener.Arguments(), QStringList{home.BaseUrl()});
    EXPECT_EQ(terminator.Ends(), 1);
    EXPECT_FALSE(QFile::exists(trap));
}

// --- the store of the substitute registry

unsigned Mode(const QString& path) {
    struct stat info {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? (info.st_mode & 07777u) : 0xffffu;
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(previous_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t previous_;
};

TEST(SecurityStore, TheWindowsFirstSwitchCreatesAnOwnerOnlyStore) {
    const UmaskGuard openUmask(0);
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral(".config/kestrovan/registry.db"));
    SqliteRegistry store(path.toStdString());
    RealWebWindow rig({&store, &store});
    ASSERT_TRUE(rig.StartUp());
    EXPECT_FALSE(QFile::exists(path)) << "start-up writes nothing";
    ASSERT_TRUE(rig.SelectEntry(QStringLiteral("127.0.0.1:8080")));

    rig.Ui().Click("Command5");

    EXPECT_EQ(rig.Setting("ProxyServer"), RegValue(std::string("127.0.0.1:8080")));
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(home.filePath(QStringLiteral(".config/kestrovan"))), 0700u);
    EXPECT_EQ(Mode(home.filePath(QStringLiteral(".config"))), 0700u);
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(path + QLatin1String(suffix))) {
            EXPECT_EQ(Mode(path + QLatin1String(suffix)), 0600u) << suffix;
        }
    }
}

// --- the whole program against hostile sites: who is asked, and what is written

// Every file below root with its size, as relative paths.
QStringList Tree(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files << QDir(root).relativeFilePath(it.filePath()) + u' ' + QString::number(it.fileInfo().size());
    }
    files.sort();
    return files;
}

const QString kImageMarkup = QStringLiteral("<img src=\"/dev/zero\">:80");

class SecurityHostileSites : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sentinel.Listen());
        ASSERT_TRUE(proxy.Listen());
        connect =
            QObject::connect(&proxy, &SlowProxy::RequestHandled, [this](const QByteArray& line, int status) {
                if (status == 0) {
                    proxied << QString::fromLatin1(line);
                }
            });
        const QString elsewhere = sentinel.BaseUrl();
        // Markup that a browser would follow by itself, pointing at the sentinel.
        const QString lures =
            QStringLiteral("<img src=\"%1/img.png\"><script src=\"%1/s.js\"></script>"
                           "<link rel=\"stylesheet\" href=\"%1/c.css\"><iframe src=\"%1/frame.htm\"></iframe>"
                           "<meta http-equiv=\"refresh\" content=\"0; url=%1/refresh.htm\">"
                           "<object data=\"%1/object\"></object><embed src=\"%1/embed\">"
                           "<video src=\"%1/video\"></video><form action=\"%1/form\"></form>")
                .arg(elsewhere);
        proxyEntry = QStringLiteral("127.0.0.1:%1").arg(proxy.Port());
        entries = QStringList{
            QStringLiteral("127.0.0.1:%1").arg(sentinel.Port()),
            proxyEntry,
            QStringLiteral("../../escape.txt:80"),
            QStringLiteral("/tmp/absolute-export:8080"),
            QStringLiteral("$(touch pwned):8080"),
            QStringLiteral("`touch pwned`|x;y&z:8080"),
            QStringLiteral("@127.0.0.1:%1/#").arg(sentinel.Port()),
            kImageMarkup,
        };
        QByteArray listPage = DemoContent(entries).ProxyListPage();
        listPage.replace("<body>", "<body>" + lures.toUtf8());
        rig.home->ServeHomeSite(DemoContent(entries));
        rig.home->SetAnswer(QStringLiteral("/kestrovan.htm"), Answer(200, listPage));
        // The one page that is loaded and never read sends the browser elsewhere.
        rig.home->SetAnswer(QStringLiteral("/Advertising.htm"),
                            Redirect(elsewhere + QStringLiteral("/ad.htm")));
        SiteAnswer result = LookupResultAnswer(QStringLiteral("127.0.0.1"));
        result.body.replace("<body>", "<body>" + EncodeGbk(lures));
        LookupOptions options;
        options.resultAnswer = result;
        rig.lookup->ServeLookupService(options);
        rig.lookup->SetHandler(QStringLiteral("/ip2city.asp"), [lures](const RecordedRequest&) {
            return Answer(200, "<body>" + lures.toUtf8() + "ok</body>");
        });
    }

    void TearDown() override { QObject::disconnect(connect); }

    void Select(const QString& entry) {
        const QStringList lines = rig.Entries();
        ASSERT_EQ(lines.count(entry), 1) << entry.toStdString();
        rig.Ui().Select(static_cast<int>(lines.indexOf(entry)));
    }

    // Presses a button and waits until it is enabled again.
    void RunOperation(const char* button) {
        rig.Ui().Click(button);
        ASSERT_TRUE(WaitFor([&] { return rig.Ui().IsEnabled(button); }, 15000)) << button;
    }

    SiteServer sentinel;
    SlowProxy proxy{0};
    QMetaObject::Connection connect;
    QStringList proxied;
    QString proxyEntry;
    QStringList entries;
    RealWebWindow rig;
};

TEST_F(SecurityHostileSites, OnlyTheBaseAddressesAndTheProxyUnderTestAreEverAsked) {
    ASSERT_TRUE(rig.window->Form_Load());
    rig.window->show();
    RunOperation("Command1");
    ASSERT_EQ(rig.Entries(), entries);
    Select(QStringLiteral("@127.0.0.1:%1/#").arg(sentinel.Port()));
    RunOperation("Command3");
    Select(kImageMarkup); // shown as text: as markup it would read /dev/zero until memory ran out
    rig.Ui().Click("Command5");
    ASSERT_TRUE(WaitFor([&] { return rig.Ui().Text("lblproxymsg").endsWith(kImageMarkup); }, 3000));
    EXPECT_FALSE(rig.window->grab().isNull());
    Select(QStringLiteral("127.0.0.1:%1").arg(sentinel.Port()));
    rig.Ui().Click("Command5"); // switched on, never contacted by the program itself
    rig.Ui().Click("Command6");
    RunOperation("Command3");
    Select(proxyEntry);
    RunOperation("Command8");
    QTest::qWait(1200); // a tick of the monitor, and time for anything a page might still start

    EXPECT_TRUE(rig.LogSince(0).filter(QStringLiteral("测速结束,延时:")).size() == 1)
        << rig.Log().join(u'|').toStdString();
    EXPECT_TRUE(sentinel.Requests().isEmpty()) << sentinel.Requests().front().target.toStdString();
    QSet<QByteArray> homePaths;
    for (const RecordedRequest& request : rig.home->Requests()) {
        homePaths << request.target;
    }
    EXPECT_EQ(homePaths,
              QSet<QByteArray>({"/", "/version/kestrovan.txt", "/kestrovan.htm", "/Advertising.htm"}));
    QSet<QByteArray> lookupTargets;
    for (const RecordedRequest& request : rig.lookup->Requests()) {
        lookupTargets << request.target;
    }
    EXPECT_EQ(lookupTargets,
              QSet<QByteArray>({"/ip2city.asp", "/ips.asp", "/ips.asp?ip=%40127.0.0.1&action=2",
                                "/ips.asp?ip=127.0.0.1&action=2"}));
    EXPECT_EQ(proxied, QStringList{QStringLiteral("GET %1 HTTP/1.1")
                                       .arg(rig.endpoints.LocationResultPage(QStringLiteral("127.0.0.1")))});
}

TEST_F(SecurityHostileSites, ExportWritesTheChosenFileAndNothingElse) {
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("work/chosen"));
    const QString chosen = root.filePath(QStringLiteral("work/chosen/list.txt"));
    const QString savedDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.filePath(QStringLiteral("work/chosen"))));
    ASSERT_TRUE(rig.window->Form_Load());
    RunOperation("Command1");
    const QStringList before = Tree(root.path());
    rig.saveDialog.QueueAnswer(chosen);

    rig.Ui().Click("Command2");

    QDir::setCurrent(savedDir);
    QStringList after = Tree(root.path());
    const QByteArray expected = entries.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
    EXPECT_TRUE(after.removeOne(QStringLiteral("work/chosen/list.txt %1").arg(expected.size())));
    EXPECT_EQ(after, before) << "only the chosen file is new";
    QFile written(chosen);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), expected);
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/absolute-export")));
}

// --- redirects never leave HTTP

TEST(SecurityRedirects, ToALocalFileAreNotFollowed) {
    QTemporaryDir dir;
    const QString secretPath = dir.filePath(QStringLiteral("secret.htm"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("<body>8080 本站主数据：secret-content</body>");
    secret.close();
    SiteServer server;
    ASSERT_TRUE(server.Listen());
    server.SetAnswer(QStringLiteral("/moved"), Redirect(QUrl::fromLocalFile(secretPath).toString()));
    const QString url = server.BaseUrl() + QStringLiteral("/moved");

    NetworkHttpRequestFactory http;
    std::int16_t timeout = 5;
    EXPECT_FALSE(HttpGetText(http, url, QString(), timeout).contains(QStringLiteral("secret-content")));

    FakeRegistry registry;
    NetworkPageLoader loader(registry);
    QSignalSpy completed(&loader, &PageLoader::DocumentComplete);
    loader.Navigate(url);
    ASSERT_TRUE(completed.wait(5000));
    EXPECT_FALSE(loader.BodyText().value_or(QString()).contains(QStringLiteral("secret-content")));
}

TEST(SecurityRedirects, StayOnTheServerAsked) {
    SiteServer server;
    ASSERT_TRUE(server.Listen());
    SiteServer elsewhere;
    ASSERT_TRUE(elsewhere.Listen());
    const QByteArray page = "<body>8080 本站主数据：moved</body>";
    elsewhere.SetAnswer(QStringLiteral("/x"), Answer(200, page));
    server.SetAnswer(QStringLiteral("/x"), Answer(200, page));
    server.SetAnswer(QStringLiteral("/away"), Redirect(elsewhere.BaseUrl() + QStringLiteral("/x")));
    server.SetAnswer(QStringLiteral("/here"), Redirect(server.BaseUrl() + QStringLiteral("/x")));
    NetworkHttpRequestFactory http;
    FakeRegistry registry;
    NetworkPageLoader loader(registry);
    const auto get = [&](const char* path) {
        std::int16_t timeout = 5;
        return HttpGetText(http, server.BaseUrl() + QLatin1String(path), QString(), timeout);
    };
    const auto load = [&](const char* path) {
        QSignalSpy completed(&loader, &PageLoader::DocumentComplete);
        loader.Navigate(server.BaseUrl() + QLatin1String(path));
        EXPECT_TRUE(completed.wait(5000));
        return loader.BodyText().value_or(QString());
    };

    EXPECT_EQ(get("/away"), QString());
    EXPECT_FALSE(load("/away").contains(QStringLiteral("moved")));
    EXPECT_TRUE(elsewhere.Requests().isEmpty()) << "a redirect sent the program to another server";
    EXPECT_EQ(get("/here"), QString::fromUtf8(page));
    EXPECT_TRUE(load("/here").contains(QStringLiteral("moved")));
}

} // namespace
} // namespace kestrovan::test
