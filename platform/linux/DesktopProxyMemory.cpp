#include "platform/linux/DesktopProxyMemory.h"

#include "platform/qt/WholeFile.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

namespace kestrovan {

namespace {

// A few hundred bytes per desktop; a larger file is none of ours.
constexpr qint64 kMaxStateBytes = 64 * 1024;

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

std::map<std::string, AppliedDesktopProxy> LoadEntries(const QString& file) {
    std::map<std::string, AppliedDesktopProxy> entries;
    QSettings settings(file, QSettings::IniFormat);
    for (const QString& group : settings.childGroups()) {
        const auto applied = LoadValue(settings, group + QStringLiteral("/applied"));
        const auto previous = LoadValue(settings, group + QStringLiteral("/previous"));
        if (applied && previous) {
            entries[group.toStdString()] = AppliedDesktopProxy{*applied, *previous};
        }
    }
    return entries;
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
    if (!stateFile_.isEmpty() && ReadPlainFile(stateFile_, kMaxStateBytes)) {
        entries_ = LoadEntries(stateFile_);
    }
}

bool DesktopProxyMemory::Save(const std::map<std::string, AppliedDesktopProxy>& entries) const {
    if (stateFile_.isEmpty()) {
        return true;
    }
    if (!MakePrivateFolders(QFileInfo(stateFile_).absolutePath())) {
        return false;
    }
    // QSettings writes the text into a private scratch file beside the memory. It is read back
    // and checked, since QSettings overlooks a short write, and then replaces the memory whole.
    QTemporaryFile scratch(stateFile_ + QStringLiteral(".XXXXXX"));
    if (!scratch.open()) {
        return false;
    }
    {
        QSettings settings(scratch.fileName(), QSettings::IniFormat);
        settings.setAtomicSyncRequired(false);
        for (const auto& [target, entry] : entries) {
            const QString group = QString::fromStdString(target);
            SaveValue(settings, group + QStringLiteral("/applied"), entry.applied);
            SaveValue(settings, group + QStringLiteral("/previous"), entry.previous);
        }
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            return false;
        }
    }
    // QSettings answers from what it wrote, by file name, so the text is checked under a new one.
    const std::optional<QByteArray> text = ReadPlainFile(scratch.fileName(), kMaxStateBytes);
    QTemporaryFile check(stateFile_ + QStringLiteral(".XXXXXX"));
    return text && check.open() && check.write(*text) == text->size() && check.flush() &&
           LoadEntries(check.fileName()) == entries && SaveWholeFile(stateFile_, *text, FileRole::State);
}

} // namespace kestrovan
