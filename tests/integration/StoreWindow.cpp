#include "tests/integration/StoreWindow.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace kestrovan::test {

StoreWindow::StoreWindow(const QString& configFolder, const ListCheckSettings& checkSettings)
    : configPath(configFolder.isEmpty() ? configHome.path() : configFolder),
      storePath(configPath + QStringLiteral("/kestrovan/registry.db")),
      journalPath(SpeedTestJournal::FileIn((configPath + QStringLiteral("/kestrovan")).toStdString())),
      store(storePath.toStdString()), rig(RegistryChoice{&store, &store}, journalPath, checkSettings) {
    clock.start();
}

void StoreWindow::Put(const char* name, const RegValue& value) {
    RegHandle key = 0;
    ASSERT_EQ(store.RegCreateKeyA(kHkeyCurrentUser, kInternetSettingsSubKey, key), kErrorSuccess);
    RegStatus status = kErrorSuccess;
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        const std::array<std::byte, 4> bytes{
            static_cast<std::byte>(*number & 0xff), static_cast<std::byte>((*number >> 8) & 0xff),
            static_cast<std::byte>((*number >> 16) & 0xff), static_cast<std::byte>((*number >> 24) & 0xff)};
        status = store.RegSetValueExA(key, name, 0, kRegDword, bytes);
    } else {
        const std::string& text = std::get<std::string>(value);
        status = store.RegSetValueExA(key, name, 0, kRegSz, std::as_bytes(std::span(text)));
    }
    store.RegCloseKey(key);
    ASSERT_EQ(status, kErrorSuccess);
}

void StoreWindow::Remove(const char* name) {
    RegHandle key = 0;
    ASSERT_EQ(store.RegCreateKeyA(kHkeyCurrentUser, kInternetSettingsSubKey, key), kErrorSuccess);
    store.RegDeleteValueA(key, name);
    store.RegCloseKey(key);
}

std::optional<RegValue> StoreWindow::Read(const char* name) {
    return store.ReadValue(kHkeyCurrentUser, kInternetSettingsSubKey, name);
}

bool StoreWindow::StoreFileExists() const {
    return QFile::exists(storePath);
}

RegToolResult StoreWindow::RunRegTool(const QStringList& arguments) {
    RegToolResult result;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configPath);
    process.setProcessEnvironment(environment);
    QObject::connect(&process, &QProcess::finished, [&] { result.finishedAtMs = clock.elapsed(); });
    process.start(QStringLiteral(KESTROVAN_REG_PATH), arguments);
    if (!process.waitForStarted(5000)) {
        ADD_FAILURE() << "kestrovan-reg did not start: " << process.errorString().toStdString();
        return result;
    }
    if (!WaitFor([&] { return result.finishedAtMs >= 0; }, 10000)) {
        ADD_FAILURE() << "kestrovan-reg did not end";
        process.kill();
        process.waitForFinished(3000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString StoreWindow::StatusAfterTick() {
    const WindowDriver ui = rig.Ui();
    // The monitor's handler was connected first, so it has run when the spy sees the tick.
    QSignalSpy ticks(&ui.Find<QTimer>("Timer1"), &QTimer::timeout);
    if (!ticks.wait(3000)) {
        return {};
    }
    return ui.Text("lblproxymsg");
}

std::vector<int> StoreWindow::PausesSince(std::size_t count) const {
    const std::vector<int>& pauses = rig.sleeper.Pauses();
    return {pauses.begin() + static_cast<std::ptrdiff_t>(std::min(count, pauses.size())), pauses.end()};
}

} // namespace kestrovan::test
