#include "web/SystemProxySettings.h"

#include "platform/InternetSettings.h"

#include "tests/fakes/FakeRegistry.h"

#include <gtest/gtest.h>

namespace kestrovan {
namespace {

struct ServerCase {
    const char* value;
    std::optional<ProxyServerAddress> expected;
};

class ProxyServerValue : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ProxyServerValue, GivesTheHttpProxy) {
    EXPECT_EQ(ParseHttpProxyServer(GetParam().value), GetParam().expected) << GetParam().value;
}

ProxyServerAddress At(const char* host, std::uint16_t port) {
    return {host, port};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProxyServerValue,
    ::testing::Values(ServerCase{"1.2.3.4:8080", At("1.2.3.4", 8080)},
                      ServerCase{" proxy.example:3128 ", At("proxy.example", 3128)},
                      ServerCase{"1.2.3.4", At("1.2.3.4", 80)},
                      ServerCase{"https=9.9.9.9:443;http=1.2.3.4:81;ftp=5.5.5.5:21", At("1.2.3.4", 81)},
                      ServerCase{"HTTP=1.2.3.4:81", At("1.2.3.4", 81)},
                      ServerCase{"https=9.9.9.9:443;7.7.7.7:8000", At("7.7.7.7", 8000)},
                      ServerCase{"https=9.9.9.9:443;socks=8.8.8.8:1080", std::nullopt},
                      ServerCase{"http://1.2.3.4:8080/", At("1.2.3.4", 8080)},
                      ServerCase{"[::1]:8080", At("::1", 8080)}, ServerCase{"", std::nullopt},
                      ServerCase{"1.2.3.4:0", std::nullopt}, ServerCase{"1.2.3.4:65536", std::nullopt},
                      ServerCase{"1.2.3.4:80x", std::nullopt}, ServerCase{":8080", std::nullopt},
                      ServerCase{"ba<d:80", std::nullopt}));

using test::FakeRegistry;

TEST(SystemProxy, FollowsProxyEnable) {
    struct Row {
        std::optional<RegValue> enable;
        bool on;
    };
    const Row rows[] = {{std::nullopt, false}, {RegValue(0u), false},  {RegValue(1u), true},
                        {RegValue(7u), true},  {RegValue("0"), false}, {RegValue("1"), true}};
    for (const Row& row : rows) {
        FakeRegistry registry;
        registry.SetSetting("ProxyServer", std::string("1.2.3.4:8080"));
        if (row.enable) {
            registry.SetSetting("ProxyEnable", *row.enable);
        }
        EXPECT_EQ(SystemHttpProxy(registry).has_value(), row.on);
        EXPECT_EQ(ProxyIsInForce(row.enable), row.on);
    }
}

TEST(SystemProxy, UnusableServerMeansDirect) {
    FakeRegistry registry;
    registry.SetSetting("ProxyEnable", 1u);
    EXPECT_FALSE(SystemHttpProxy(registry).has_value());
    registry.SetSetting("ProxyServer", 8080u);
    EXPECT_FALSE(SystemHttpProxy(registry).has_value());
    registry.SetSetting("ProxyServer", std::string("nonsense:port"));
    EXPECT_FALSE(SystemHttpProxy(registry).has_value());
}

} // namespace
} // namespace kestrovan
