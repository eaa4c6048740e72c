#include "platform/linux/DesktopProxyValue.h"
#include "platform/linux/KdeProxyFile.h"
#include "web/SystemProxySettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

namespace kestrovan {
namespace {

struct ServerCase {
    std::string server;
    std::optional<ProxyEndpoint> http; // nullopt row: the whole text is unusable
    ProxyEndpoint https;
    friend void PrintTo(const ServerCase& row, std::ostream* out) {
        *out << '"' << row.server.substr(0, 40) << (row.server.size() > 40 ? "...\"" : "\"");
    }
};

class ParseProxyServerTest : public ::testing::TestWithParam<ServerCase> {};

// The bridge and the page loader read "ProxyServer" with the one parser: the bridge's http endpoint
// is the page loader's proxy.
TEST_P(ParseProxyServerTest, GivesManualEndpointsOrNothing) {
    const ServerCase& row = GetParam();
    const auto value = ManualDesktopProxy(ParseProxyServer(row.server));
    const auto loader = ParseHttpProxyServer(row.server);
    if (!row.http) {
        EXPECT_FALSE(value.has_value()) << row.server;
        EXPECT_FALSE(loader.has_value()) << row.server;
        return;
    }
    ASSERT_TRUE(value.has_value()) << row.server;
    EXPECT_EQ(value->mode, DesktopProxyMode::Manual);
    EXPECT_EQ(value->http, *row.http);
    EXPECT_EQ(value->https, row.https);
    if (row.http->host.empty()) {
        EXPECT_FALSE(loader.has_value()) << row.server;
    } else {
        ASSERT_TRUE(loader.has_value()) << row.server;
        EXPECT_EQ(loader->host, row.http->host);
        EXPECT_EQ(loader->port, row.http->port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ParseProxyServerTest,
    ::testing::Values(
        ServerCase{"10.0.0.1:8080", ProxyEndpoint{"10.0.0.1", 8080}, {"10.0.0.1", 8080}},
        ServerCase{" proxy.example-1.net:3128 ",
                   ProxyEndpoint{"proxy.example-1.net", 3128},
                   {"proxy.example-1.net", 3128}},
        ServerCase{"[::1]:8080", ProxyEndpoint{"::1", 8080}, {"::1", 8080}},
        ServerCase{"[::ffff:10.0.0.1]", ProxyEndpoint{"::ffff:10.0.0.1", 80}, {"::ffff:10.0.0.1", 80}},
        ServerCase{"http=a.b:1;https=c.d:65535", ProxyEndpoint{"a.b", 1}, {"c.d", 65535}},
        ServerCase{"HTTPS=c.d:443;ftp=e:21;", ProxyEndpoint{"", 0}, {"c.d", 443}},
        ServerCase{"http=a:80;socks=s:1080", ProxyEndpoint{"a", 80}, {"", 0}},
        ServerCase{"https=c:443 d:8000", ProxyEndpoint{"d", 8000}, {"c", 443}},
        ServerCase{"http=bad:99999;d:8000", ProxyEndpoint{"", 0}, {"d", 8000}},
        ServerCase{"http=a:80;http=b:81", ProxyEndpoint{"a", 80}, {"", 0}},
        ServerCase{"http=a:80;https=bad", ProxyEndpoint{"a", 80}, {"bad", 80}},
        ServerCase{"http://10.0.0.1:8080/", ProxyEndpoint{"10.0.0.1", 8080}, {"10.0.0.1", 8080}},
        ServerCase{"10.0.0.1", ProxyEndpoint{"10.0.0.1", 80}, {"10.0.0.1", 80}},
        ServerCase{"a;rm -rf ~:80", ProxyEndpoint{"a", 80}, {"a", 80}},
        ServerCase{"ho\nst:80", ProxyEndpoint{"ho", 80}, {"ho", 80}}, ServerCase{"", std::nullopt, {}},
        ServerCase{" ; ", std::nullopt, {}}, ServerCase{"10.0.0.1:", std::nullopt, {}},
        ServerCase{"10.0.0.1:0", std::nullopt, {}}, ServerCase{"10.0.0.1:65536", std::nullopt, {}},
        ServerCase{"10.0.0.1:80:90", std::nullopt, {}}, ServerCase{"-x:80", std::nullopt, {}},
        ServerCase{"x-.y:80", std::nullopt, {}}, ServerCase{"x..y:80", std::nullopt, {}},
        ServerCase{"ba<d:80", std::nullopt, {}}, ServerCase{"[zz]:80", std::nullopt, {}},
        ServerCase{"[1:2]:80", std::nullopt, {}}, ServerCase{"[::1]x", std::nullopt, {}},
        ServerCase{"ftp=e:21", std::nullopt, {}}, ServerCase{std::string(300, 'a') + ":80", std::nullopt, {}},
        ServerCase{std::string(5000, ';') + "http=a:1", std::nullopt, {}}));

TEST(KdeProxyUrlTest, OwnFormatRoundTripsAndAnythingElseStaysWhole) {
    const struct {
        std::string text;
        ProxyEndpoint endpoint;
    } rows[] = {
        {"http://10.0.0.1 8080", {"10.0.0.1", 8080}},
        {"http://[::1] 3128", {"::1", 3128}},
        {"", {"", 0}},
        {"http://10.0.0.1:8080", {"http://10.0.0.1:8080", -1}},
        {"socks://s 1080", {"socks://s 1080", -1}},
        {"http://h 99999", {"http://h 99999", -1}},
        {"http:// 80", {"http:// 80", -1}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseKdeProxyUrl(row.text), row.endpoint) << row.text;
        EXPECT_EQ(FormatKdeProxyUrl(row.endpoint), row.text) << row.text;
    }
}

TEST(KdeConfigEditTest, ChangesOnlyTheNamedKeysOfTheGroup) {
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } rows[] = {
        {"empty file", "", "[Proxy Settings]\nProxyType=1\nhttpProxy=x\n"},
        {"group missing", "[General]\na=1", "[General]\na=1\n\n[Proxy Settings]\nProxyType=1\nhttpProxy=x\n"},
        {"keys replaced in place, others kept",
         "# top\n[Proxy Settings]\nNoProxyFor=localhost\nProxyType = 0\nhttpProxy[$e]=keep\n\n[Other]\n"
         "ProxyType=7\n",
         "# top\n[Proxy Settings]\nNoProxyFor=localhost\nProxyType=1\nhttpProxy[$e]=keep\nhttpProxy=x\n\n"
         "[Other]\nProxyType=7\n"},
        {"group twice", "[Proxy Settings]\nProxyType=0\n[A]\n[Proxy Settings]\nftpProxy=f\n",
         "[Proxy Settings]\nProxyType=1\n[A]\n[Proxy Settings]\nftpProxy=f\nhttpProxy=x\n"},
    };
    for (const auto& row : rows) {
        const std::string after =
            SetKdeConfigEntries(row.before, "Proxy Settings", {{"ProxyType", "1"}, {"httpProxy", "x"}});
        EXPECT_EQ(after, row.after) << row.name;
        EXPECT_EQ(KdeConfigEntry(after, "Proxy Settings", "ProxyType"), "1") << row.name;
        EXPECT_EQ(KdeConfigEntry(after, "Proxy Settings", "httpProxy"), "x") << row.name;
    }
}

TEST(KdeConfigEditTest, ValuesNeedingEscapesSurviveTheRoundTrip) {
    for (const std::string value : {" lead", "trail ", "back\\slash", "two\nlines", ""}) {
        const std::string text = SetKdeConfigEntries("[Proxy Settings]\n", "Proxy Settings", {{"k", value}});
        EXPECT_EQ(KdeConfigEntry(text, "Proxy Settings", "k"), value);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    }
}

TEST(KdeProxyReadTest, MapsProxyTypeToTheMode) {
    EXPECT_EQ(ReadKdeProxy("").mode, DesktopProxyMode::None);
    const DesktopProxyValue manual = ReadKdeProxy("[Proxy Settings]\nProxyType=1\nhttpProxy=http://h 1\n");
    EXPECT_EQ(manual.mode, DesktopProxyMode::Manual);
    EXPECT_EQ(manual.http, (ProxyEndpoint{"h", 1}));
    const DesktopProxyValue pac = ReadKdeProxy("[Proxy Settings]\nProxyType=2\nProxy Config Script=x.pac\n");
    EXPECT_EQ(pac.mode, DesktopProxyMode::Other);
    EXPECT_EQ(pac.otherMode, "2");
}

} // namespace
} // namespace kestrovan
