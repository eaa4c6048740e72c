#include "platform/linux/DesktopProxyMemory.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kestrovan {

namespace {

QString ModeName(DesktopProxyMode mode) {
    switch (mode) {
    case DesktopProxyMode::Manual:
        return QStringLiteral("manual");
    case DesktopProxyMode::Other:
        return QStringLiteral("other");
    case DesktopProxyMode::None:
        break;
    }
    return QStringLiteral("none");
}

std::optional<DesktopProxyMode> ModeFromName(const QString& name) {
    if (name == u"none") {
        return DesktopProxyMode::None;
    }
    if (name == u"manual") {
        return DesktopProxyMode::Manual;
    }
    if (name == u"other") {
        return DesktopProxyMode::Other;
    }
    return std::nullopt;
}

void SaveValue(QSettings& settings, const QString& prefix, const DesktopProxyValue& value) {
    settings.setValue(prefix + QStringLiteral("/mode"), ModeName(value.mode));
    settings.setValue(prefix + QStringLiteral("/otherMode"), QString::fromStdString(value.otherMode));
    settings.setValue(prefix + QStringLiteral("/httpHost"), QString::fromStdString(value.http.host));
    settings.setValue(prefix + QStringLiteral("/httpPort"), value.http.port);
    settings.setValue(prefix + QStringLiteral("/httpsHost"), QString::fromStdString(value.https.host));
    settings.setValue(prefix + QStringLiteral("/httpsPort"), value.https.port);
}

std::optional<ProxyEndpoint> LoadEndpoint(const QSettings& settings, const QString& hostKey,
                                          const QString& portKey) {
    bool numeric = false;
    const int port = settings.value(portKey).toInt(&numeric);
    if (!numeric || port < -1 || port > 65535) {
        return std::nullopt;
    }
    return ProxyEndpoint{settings.value(hostKey).toString().toStdString(), port};
}

std::optional<DesktopProxyValue> LoadValue(const QSettings& settings, const QString& prefix) {
    const auto mode = ModeFromName(settings.value(prefix + QStringLiteral("/mode")).toString());
    const auto http =
        LoadEndpoint(settings, prefix + QStringLiteral("/httpHost"), prefix + QStringLiteral("/httpPort"));
    const auto https =
        LoadEndpoint(settings, prefix + QStringLiteral("/httpsHost"), prefix + QStringLiteral("/httpsPort"));
    if (!mode || !http || !https) {
        return std::nullopt;
    }
    return DesktopProxyValue{
        *mode, settings.value(prefix + QStringLiteral("/otherMode")).toString().toStdString(), *http, *https};
}

} // namespace

DesktopProxyMemory::DesktopProxyMemory(QString stateFile) : stateFile_(std::move(stateFile)) {
    Load();
}

std::optional<AppliedDesktopProxy> DesktopProxyMemory::Find(const std::string& target) const {
    const auto found = entries_.find(target);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool DesktopProxyMemory::Remember(const std::string& target, const AppliedDesktopProxy& entry) {
    if (Find(target) == entry) {
        return true;
    }
    auto entries = entries_;
    entries[target] = entry;
    if (!Save(entries)) {
        return false;
    }
    entries_ = std::move(entries);
    return true;
}

bool DesktopProxyMemory::Forget(const std::string& target) {
    auto entries = entries_;
    if (entries.erase(target) == 0) {
        return true;
    }
    if (!Save(entries)) {
        return false;
    }
    entries_ = std::move(entries);
    return true;
}

void DesktopProxyMemory::Load() {
    if (stateFile_.isEmpty() || !QFileInfo::exists(stateFile_)) {
        return;
    }
    QSettings settings(stateFile_, QSettings::IniFormat);
    for (const QString& group : settings.childGroups()) {
        const auto applied = LoadValue(settings, group + QStringLiteral("/applied"));
        const auto previous = LoadValue(settings, group + QStringLiteral("/previous"));
        if (applied && previous) {
            entries_[group.toStdString()] = AppliedDesktopProxy{*applied, *previous};
        }
    }
}

bool DesktopProxyMemory::Save(const std::map<std::string, AppliedDesktopProxy>& entries) const {
    if (stateFile_.isEmpty()) {
        return true;
    }
    QDir().mkpath(QFileInfo(stateFile_).absolutePath());
    QSettings settings(stateFile_, QSettings::IniFormat);
    // Written to a temporary file and renamed over the old one, never in place: a failed write
    // leaves the old file whole.
    settings.setAtomicSyncRequired(true);
    settings.clear();
    for (const auto& [target, entry] : entries) {
        const QString group = QString::fromStdString(target);
        SaveValue(settings, group + QStringLiteral("/applied"), entry.applied);
        SaveValue(settings, group + QStringLiteral("/previous"), entry.previous);
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace kestrovan
