// GIO's headers use "signals" as a field name; Qt's keyword macros are off for this target.
#include <gio/gio.h>
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>

#include "platform/linux/DesktopProxyBridge.h"
#include "platform/linux/GsettingsProxyTarget.h"
#include "platform/linux/KdeProxyTarget.h"
#include "tests/platform/BridgeTestEnvironment.h"
#include "tests/support/RunAsNobody.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/stat.h>

namespace kestrovan::test {
namespace {

const QString kNotTaken = QStringLiteral("桌面代理设置未生效,系统代理仅在本程序内有效.");
const QString kUnusable = QStringLiteral("代理地址无法用于桌面设置: ");
const QString kUnsaved = QStringLiteral("桌面代理的原设置无法保存,桌面代理设置保持不变.");

struct SettingsUnref {
    void operator()(GSettings* settings) const { g_object_unref(settings); }
};
using Settings = std::unique_ptr<GSettings, SettingsUnref>;

std::string GetString(GSettings* settings, const char* key) {
    gchar* text = g_settings_get_string(settings, key);
    std::string result = text;
    g_free(text);
    return result;
}

// Base of the tests: a registry, a bridge over the given targets with its own state file, and
// the lines it sends to the message log.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = BridgeTestRoot() + QStringLiteral("/case/") + QString::fromLatin1(info->test_suite_name()) +
                  QStringLiteral(".") + QString::fromLatin1(info->name());
        QDir(folder_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder_));
    }

    std::unique_ptr<DesktopProxyBridge> MakeBridge(std::unique_ptr<DesktopProxyTarget> target) {
        std::vector<std::unique_ptr<DesktopProxyTarget>> targets;
        targets.push_back(std::move(target));
        auto bridge = std::make_unique<DesktopProxyBridge>(registry_, std::move(targets), StateFile());
        bridge->SetMessageSink([this](const QString& line) { log_.push_back(line); });
        return bridge;
    }
    QString StateFile() const { return folder_ + QStringLiteral("/state/desktop-proxy.ini"); }

    void SwitchOn(const std::string& server) {
        registry_.Set("ProxyServer", server);
        registry_.Set("ProxyEnable", std::uint32_t{1});
    }
    void SwitchOff() {
        registry_.Remove("ProxyServer");
        registry_.Set("ProxyEnable", std::uint32_t{0});
    }

    QString folder_;
    TinyRegistry registry_;
    QStringList log_;
};

// GSettings on the keyfile backend of the test home, reset to the schema defaults per case.
class GsettingsBridgeTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        proxy_.reset(g_settings_new("org.gnome.system.proxy"));
        http_.reset(g_settings_new("org.gnome.system.proxy.http"));
        https_.reset(g_settings_new("org.gnome.system.proxy.https"));
        for (GSettings* settings : {proxy_.get(), http_.get(), https_.get()}) {
            gchar** keys = g_settings_schema_list_keys(SchemaOf(settings));
            for (gchar** key = keys; *key != nullptr; ++key) {
                g_settings_reset(settings, *key);
            }
            g_strfreev(keys);
        }
        g_settings_sync();
    }
    static GSettingsSchema* SchemaOf(GSettings* settings) {
        GSettingsSchema* schema = nullptr;
        g_object_get(settings, "settings-schema", &schema, nullptr);
        g_settings_schema_unref(schema); // the settings object keeps its own reference
        return schema;
    }
    std::unique_ptr<DesktopProxyBridge> MakeBridge() {
        auto target = GsettingsProxyTarget::Open();
        EXPECT_NE(target, nullptr) << "gsettings-desktop-schemas missing";
        return BridgeTest::MakeBridge(std::move(target));
    }
    std::string Mode() { return GetString(proxy_.get(), "mode"); }
    std::string Http() {
        return GetString(http_.get(), "host") + ":" + std::to_string(g_settings_get_int(http_.get(), "port"));
    }
    std::string Https() {
        return GetString(https_.get(), "host") + ":" +
               std::to_string(g_settings_get_int(https_.get(), "port"));
    }
    // Another program (or the user) changing the desktop setting.
    void SetByUser(const char* mode, const char* host = nullptr, int port = 0) {
        if (host != nullptr) {
            g_settings_set_string(http_.get(), "host", host);
            g_settings_set_int(http_.get(), "port", port);
        }
        g_settings_set_string(proxy_.get(), "mode", mode);
        g_settings_sync();
    }

    Settings proxy_, http_, https_;
};

TEST_F(GsettingsBridgeTest, SwitchingOnAndOffSetsManualThenNoneInTheKeyfile) {
    auto bridge = MakeBridge();
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
    EXPECT_EQ(Http(), "10.0.0.1:8080");
    EXPECT_EQ(Https(), "10.0.0.1:8080");
    // It reached the backend's file, where other programs read it.
    QFile keyfile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/glib-2.0/settings/keyfile"));
    ASSERT_TRUE(keyfile.open(QIODevice::ReadOnly));
    const QByteArray stored = keyfile.readAll();
    EXPECT_TRUE(stored.contains("mode='manual'")) << stored.constData();
    EXPECT_TRUE(stored.contains("host='10.0.0.1'")) << stored.constData();

    SwitchOn("10.0.0.2:3128"); // a second switch replaces the first
    bridge->Apply();
    EXPECT_EQ(Http(), "10.0.0.2:3128");

    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Mode(), "none");
    EXPECT_TRUE(log_.isEmpty()) << log_.join(u'|').toStdString();
}

TEST_F(GsettingsBridgeTest, PerProtocolServerSetsEachProtocol) {
    auto bridge = MakeBridge();
    SwitchOn("http=h1.example:81;https=h2.example:444;socks=s:1080");
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
    EXPECT_EQ(Http(), "h1.example:81");
    EXPECT_EQ(Https(), "h2.example:444");

    SwitchOn("http=h1.example:81");
    bridge->Apply();
    EXPECT_EQ(Https(), ":0");
}

TEST_F(GsettingsBridgeTest, PacSettingOfTheUserIsLeftWhenSwitchingOff) {
    g_settings_set_string(proxy_.get(), "autoconfig-url", "http://127.0.0.1/proxy.pac");
    SetByUser("auto");
    auto bridge = MakeBridge();
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Mode(), "auto");

    // Switched on over it and off again: the user's PAC setting comes back.
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Mode(), "auto");
    EXPECT_EQ(GetString(proxy_.get(), "autoconfig-url"), "http://127.0.0.1/proxy.pac");
    EXPECT_EQ(Http(), ":8080"); // the schema default, as found
}

TEST_F(GsettingsBridgeTest, ProxyTheUserSetAfterTheBridgeSurvivesSwitchingOff) {
    auto bridge = MakeBridge();
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    SetByUser("manual", "corp.example", 3128);
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
    EXPECT_EQ(Http(), "corp.example:3128");

    // And after that the bridge no longer claims it.
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
}

TEST_F(GsettingsBridgeTest, WhatTheBridgeAppliedIsKnownToTheNextRun) {
    SwitchOn("10.0.0.1:8080");
    MakeBridge()->Apply();
    EXPECT_EQ(Mode(), "manual");
    SwitchOff();
    MakeBridge()->Apply();
    EXPECT_EQ(Mode(), "none");
}

TEST_F(GsettingsBridgeTest, UnusableServerTextIsNotAppliedAndToldOnce) {
    auto bridge = MakeBridge();
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    for (const std::string bad : {"no-proxy:port", "10.0.0.9:99999"}) {
        SwitchOn(bad);
        bridge->Apply();
        bridge->Apply();
        EXPECT_EQ(Mode(), "manual") << bad;
        EXPECT_EQ(Http(), "10.0.0.1:8080") << bad;
    }
    EXPECT_EQ(log_, (QStringList{kUnusable + QStringLiteral("no-proxy:port"),
                                 kUnusable + QStringLiteral("10.0.0.9:99999")}));

    registry_.Remove("ProxyServer"); // switched on with no server at all
    bridge->Apply();
    EXPECT_EQ(log_.size(), 3);
    EXPECT_EQ(log_.back(), kUnusable);
}

TEST_F(GsettingsBridgeTest, MissingOrTextualFlag) {
    auto bridge = MakeBridge();
    registry_.Set("ProxyServer", std::string("10.0.0.1:8080"));
    bridge->Apply(); // no "ProxyEnable": the desktop is not switched on
    EXPECT_EQ(Mode(), "none");
    registry_.Set("ProxyEnable", std::string("0"));
    bridge->Apply();
    EXPECT_EQ(Mode(), "none");
    registry_.Set("ProxyEnable", std::string("yes"));
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
}

TEST_F(GsettingsBridgeTest, BridgeForTheCurrentUserUsesTheDefaultBackendAndStateFile) {
    auto bridge = DesktopProxyBridge::ForCurrentUser(registry_);
    EXPECT_EQ(DesktopProxyBridge::DefaultStateFile(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/kestrovan/desktop-proxy.ini"));
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    EXPECT_EQ(Mode(), "manual");
    EXPECT_TRUE(QFile::exists(DesktopProxyBridge::DefaultStateFile()));
    EXPECT_FALSE(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/kioslaverc")));
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Mode(), "none");
}

TEST_F(GsettingsBridgeTest, ModeOutsideTheSchemaIsRefusedNotFatal) {
    auto target = GsettingsProxyTarget::Open();
    ASSERT_NE(target, nullptr);
    DesktopProxyValue odd;
    odd.mode = DesktopProxyMode::Other;
    odd.otherMode = "bogus";
    EXPECT_FALSE(target->Write(odd));
    EXPECT_EQ(Mode(), "none");
}

TEST_F(BridgeTest, InMemoryGsettingsIsReportedOnceAsNotTaken) {
    GSettingsBackend* memory = g_memory_settings_backend_new();
    auto target = GsettingsProxyTarget::Open(memory);
    g_object_unref(memory);
    ASSERT_NE(target, nullptr);
    auto bridge = MakeBridge(std::move(target));
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    bridge->Apply();
    SwitchOn("10.0.0.2:8080");
    bridge->Apply();
    EXPECT_EQ(log_, QStringList{kNotTaken});
}

TEST_F(BridgeTest, LinesBeforeTheSinkIsSetAreKept) {
    std::vector<std::unique_ptr<DesktopProxyTarget>> none;
    DesktopProxyBridge bridge(registry_, std::move(none), QString());
    SwitchOn("bad:port");
    bridge.Apply();
    bridge.SetMessageSink([this](const QString& line) { log_.push_back(line); });
    EXPECT_EQ(log_, QStringList{kUnusable + QStringLiteral("bad:port")});
}

class KdeBridgeTest : public BridgeTest {
protected:
    QString File() const { return folder_ + QStringLiteral("/config/kioslaverc"); }
    QByteArray Contents() const {
        QFile file(File());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void Write(const QByteArray& text) {
        QDir().mkpath(folder_ + QStringLiteral("/config"));
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

// Counts the KIO reparse signals seen on the private bus.
class ReparseListener {
public:
    ReparseListener() {
        const std::string address = PrivateBusAddress();
        if (address.empty()) {
            return;
        }
        connection_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (connection_ == nullptr) {
            return;
        }
        subscription_ = g_dbus_connection_signal_subscribe(
            connection_, nullptr, "org.kde.KIO.Scheduler", "reparseSlaveConfiguration", "/KIO/Scheduler",
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer count) {
                if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)"))) {
                    ++*static_cast<int*>(count);
                }
            },
            &count_, nullptr);
        // A round trip to the bus: the match rule is in place once the answer is here.
        GVariant* reply = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId",
            nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
    }
    ~ReparseListener() {
        if (connection_ != nullptr) {
            g_dbus_connection_signal_unsubscribe(connection_, subscription_);
            g_object_unref(connection_);
        }
    }
    ReparseListener(const ReparseListener&) = delete;
    ReparseListener& operator=(const ReparseListener&) = delete;

    int WaitForCount(int expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (count_ < expected && std::chrono::steady_clock::now() < deadline) {
            if (g_main_context_iteration(nullptr, FALSE) == FALSE) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return count_;
    }

private:
    GDBusConnection* connection_ = nullptr;
    guint subscription_ = 0;
    int count_ = 0;
};

TEST_F(KdeBridgeTest, KioslavercFollowsAndKeepsEverythingElse) {
    ASSERT_FALSE(PrivateBusAddress().empty()) << "dbus-daemon did not start";
    const QByteArray before = "[$Version]\nupdate_info=kioslave.upd:kde4.2\n\n"
                              "[Proxy Settings]\nNoProxyFor=localhost,127.0.0.1\nProxyType=0\n"
                              "ftpProxy=http://f 21\n\n[Cache Settings]\nMaxCacheSize=5120\n";
    Write(before);
    ReparseListener listener;
    auto bridge = MakeBridge(std::make_unique<KdeProxyTarget>(File(), false));

    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    EXPECT_EQ(Contents(),
              QByteArray("[$Version]\nupdate_info=kioslave.upd:kde4.2\n\n"
                         "[Proxy Settings]\nNoProxyFor=localhost,127.0.0.1\nProxyType=1\n"
                         "ftpProxy=http://f 21\nhttpProxy=http://10.0.0.1 8080\n"
                         "httpsProxy=http://10.0.0.1 8080\n\n[Cache Settings]\nMaxCacheSize=5120\n"));
    EXPECT_EQ(listener.WaitForCount(1), 1);

    SwitchOff();
    bridge->Apply();
    // Back to what was found: ProxyType 0 and empty proxy texts, every other line as before.
    EXPECT_EQ(Contents(), QByteArray("[$Version]\nupdate_info=kioslave.upd:kde4.2\n\n"
                                     "[Proxy Settings]\nNoProxyFor=localhost,127.0.0.1\nProxyType=0\n"
                                     "ftpProxy=http://f 21\nhttpProxy=\nhttpsProxy=\n\n"
                                     "[Cache Settings]\nMaxCacheSize=5120\n"));
    EXPECT_EQ(listener.WaitForCount(2), 2);
    EXPECT_TRUE(log_.isEmpty());
}

TEST_F(KdeBridgeTest, PacConfigurationIsLeftAlone) {
    const QByteArray pac = "[Proxy Settings]\nProxyType=2\nProxy Config Script=http://127.0.0.1/p.pac\n";
    Write(pac);
    auto bridge = MakeBridge(std::make_unique<KdeProxyTarget>(File(), false));
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Contents(), pac);
}

// A state folder the user cannot write: the desktop keeps the user's proxy, which a later run
// could otherwise never put back.
TEST_F(KdeBridgeTest, StateThatCannotBeSavedLeavesTheDesktopAsItIs) {
    if (RanAsNobody()) {
        return;
    }
    const QByteArray users = "[Proxy Settings]\nProxyType=1\nhttpProxy=http://192.168.1.5 3128\n";
    Write(users);
    const QString state = QFileInfo(StateFile()).absolutePath();
    ASSERT_TRUE(QDir().mkpath(state));
    ASSERT_EQ(::chmod(state.toLocal8Bit().constData(), 0500), 0);

    auto bridge = MakeBridge(std::make_unique<KdeProxyTarget>(File(), false));
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    bridge->Apply();
    EXPECT_EQ(Contents(), users);
    EXPECT_EQ(log_, QStringList{kUnsaved}) << "told once";

    bridge = MakeBridge(std::make_unique<KdeProxyTarget>(File(), false)); // the next run
    SwitchOff();
    bridge->Apply();
    EXPECT_EQ(Contents(), users);
}

TEST_F(KdeBridgeTest, NoKdeMeansNoFile) {
    auto bridge = MakeBridge(std::make_unique<KdeProxyTarget>(File(), false));
    SwitchOn("10.0.0.1:8080");
    bridge->Apply();
    EXPECT_FALSE(QFile::exists(File()));

    auto session = MakeBridge(std::make_unique<KdeProxyTarget>(File(), true));
    session->Apply();
    EXPECT_EQ(Contents(), QByteArray("[Proxy Settings]\nProxyType=1\nhttpProxy=http://10.0.0.1 8080\n"
                                     "httpsProxy=http://10.0.0.1 8080\n"));
}

} // namespace
} // namespace kestrovan::test
