#include "tests/platform/BridgeTestEnvironment.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace kestrovan::test {

namespace {

// Runs before main(): GLib caches the user folders on first use, so the environment has to be
// in place before anything (Qt included) could ask for them.
struct EarlyEnvironment {
    QString root;
    EarlyEnvironment() {
        char pattern[] = "/tmp/kestrovan-bridge-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        root = QString::fromLocal8Bit(pattern);
        const QByteArray config = (root + QStringLiteral("/config")).toLocal8Bit();
        QDir().mkpath(QString::fromLocal8Bit(config));
        setenv("HOME", pattern, 1);
        setenv("XDG_CONFIG_HOME", config.constData(), 1);
        setenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share", 1);
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        unsetenv("GSETTINGS_SCHEMA_DIR");
        unsetenv("XDG_CURRENT_DESKTOP");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("XDG_RUNTIME_DIR");
    }
    // Also when GoogleTest only lists the tests and never sets up its environments.
    ~EarlyEnvironment() { QDir(root).removeRecursively(); }
    EarlyEnvironment(const EarlyEnvironment&) = delete;
    EarlyEnvironment& operator=(const EarlyEnvironment&) = delete;
};

EarlyEnvironment& Early() {
    static EarlyEnvironment early;
    return early;
}
[[maybe_unused]] const bool kEarlyDone = (Early(), true);

class PrivateBus final : public ::testing::Environment {
public:
    void SetUp() override {
        const QString socket = Early().root + QStringLiteral("/bus");
        daemon_ = std::make_unique<QProcess>();
        daemon_->start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address"), QStringLiteral("--address=unix:path=") + socket});
        if (!daemon_->waitForStarted(5000)) {
            return;
        }
        while (!daemon_->canReadLine() && daemon_->waitForReadyRead(5000)) {
        }
        address_ = daemon_->readLine().trimmed().toStdString();
        if (!address_.empty()) {
            setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        }
    }
    void TearDown() override {
        if (daemon_) {
            daemon_->terminate();
            daemon_->waitForFinished(3000);
            daemon_.reset();
        }
    }
    static std::string address_;

private:
    std::unique_ptr<QProcess> daemon_;
};
std::string PrivateBus::address_;

// GoogleTest owns its environments.
[[maybe_unused]] const auto* const kBus = ::testing::AddGlobalTestEnvironment(new PrivateBus);

} // namespace

QString BridgeTestRoot() {
    return Early().root;
}

std::string PrivateBusAddress() {
    return PrivateBus::address_;
}

std::optional<RegValue> TinyRegistry::ReadValue(RegHandle root, std::string_view subKey,
                                                std::string_view valueName) {
    if (root != kHkeyCurrentUser ||
        subKey != "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings") {
        return std::nullopt;
    }
    const auto found = values_.find(std::string(valueName));
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace kestrovan::test
