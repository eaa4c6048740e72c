#include "platform/linux/DesktopProxyBridge.h"

#include "platform/linux/GsettingsProxyTarget.h"
#include "platform/linux/KdeProxyTarget.h"
#include "text/AnsiText.h"
#include "text/ShownText.h"

#include <QStandardPaths>

#include <string_view>
#include <variant>

namespace kestrovan {

namespace {

constexpr std::size_t kMaxPendingLines = 16;

std::string ServerText(const std::optional<RegValue>& server) {
    if (!server) {
        return {};
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*server)) {
        return std::to_string(*number);
    }
    return std::get<std::string>(*server);
}

QString ShownServerText(const std::string& server) {
    return ShownText(FromAnsi(QByteArrayView(server.data(), static_cast<qsizetype>(server.size()))),
                     ShownIn::LogLine);
}

} // namespace

DesktopProxyBridge::DesktopProxyBridge(RegistryReader& registry,
                                       std::vector<std::unique_ptr<DesktopProxyTarget>> targets,
                                       QString stateFile)
    : registry_(registry), targets_(std::move(targets)), memory_(std::move(stateFile)) {}

std::unique_ptr<DesktopProxyBridge> DesktopProxyBridge::ForCurrentUser(RegistryReader& registry) {
    std::vector<std::unique_ptr<DesktopProxyTarget>> targets;
    if (auto gsettings = GsettingsProxyTarget::Open()) {
        targets.push_back(std::move(gsettings));
    }
    targets.push_back(KdeProxyTarget::ForCurrentUser());
    return std::make_unique<DesktopProxyBridge>(registry, std::move(targets), DefaultStateFile());
}

QString DesktopProxyBridge::DefaultStateFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/kestrovan/desktop-proxy.ini");
}

void DesktopProxyBridge::SetMessageSink(MessageSink sink) {
    sink_ = std::move(sink);
    if (!sink_) {
        return;
    }
    for (const QString& line : pending_) {
        sink_(line);
    }
    pending_.clear();
}

void DesktopProxyBridge::Apply() {
    const bool on = ProxyIsInForce(ReadInternetSetting(registry_, kProxyEnableName));
    std::optional<DesktopProxyValue> wanted;
    if (on) {
        const std::optional<RegValue> value = ReadInternetSetting(registry_, kProxyServerName);
        wanted = ManualDesktopProxy(ParseProxyServerValue(value));
        if (!wanted) {
            const std::string server = ServerText(value);
            // The desktop keeps what it has: no half-usable address is handed to other programs.
            if (unusableTold_ != server) {
                unusableTold_ = server;
                Say(QStringLiteral("代理地址无法用于桌面设置: ") + ShownServerText(server));
            }
            return;
        }
    }
    unusableTold_.reset();

    bool followed = true;
    unsaved_ = false;
    for (const auto& target : targets_) {
        if (target->Present()) {
            followed = (wanted ? SwitchOn(*target, *wanted) : SwitchOff(*target)) && followed;
        }
    }
    if (followed) {
        notTakenTold_ = false;
        unsavedTold_ = false;
    } else if (unsaved_) {
        if (!unsavedTold_) {
            unsavedTold_ = true;
            Say(QStringLiteral("桌面代理的原设置无法保存,桌面代理设置保持不变."));
        }
    } else if (!notTakenTold_) {
        notTakenTold_ = true;
        Say(QStringLiteral("桌面代理设置未生效,系统代理仅在本程序内有效."));
    }
}

bool DesktopProxyBridge::SwitchOn(DesktopProxyTarget& target, const DesktopProxyValue& wanted) {
    if (!target.Persistent()) {
        return false; // other programs would never see the value
    }
    const auto current = target.Read();
    if (!current) {
        return false;
    }
    const auto remembered = memory_.Find(target.Name());
    // The desktop's own setting is the one found before the bridge first wrote, or the one the
    // user has made since the bridge's last write.
    const DesktopProxyValue previous =
        remembered && remembered->applied == *current ? remembered->previous : *current;
    // The user's setting is on disk before it is replaced, or it is not replaced at all: a
    // forgotten one could never be put back.
    if (!memory_.Remember(target.Name(), AppliedDesktopProxy{wanted, previous})) {
        unsaved_ = true;
        return false;
    }
    if ((*current != wanted && !target.Write(wanted)) || target.Read() != wanted) {
        if (remembered) {
            memory_.Remember(target.Name(), *remembered);
        } else {
            memory_.Forget(target.Name());
        }
        return false;
    }
    return true;
}

bool DesktopProxyBridge::SwitchOff(DesktopProxyTarget& target) {
    const auto remembered = memory_.Find(target.Name());
    if (!remembered) {
        return true; // nothing of the bridge's to take back
    }
    const auto current = target.Read();
    if (!current) {
        return false;
    }
    if (*current != remembered->applied) {
        memory_.Forget(target.Name()); // changed by someone else since: theirs now
        return true;
    }
    const DesktopProxyValue& restored = remembered->previous;
    if (!target.Write(restored) || target.Read() != restored) {
        return false;
    }
    memory_.Forget(target.Name());
    return true;
}

void DesktopProxyBridge::Say(const QString& line) {
    if (sink_) {
        sink_(line);
    } else if (pending_.size() < kMaxPendingLines) {
        pending_.push_back(line);
    }
}

} // namespace kestrovan
