#include "platform/linux/KdeProxyTarget.h"

#include "platform/linux/KdeProxyFile.h"
#include "platform/linux/KdeReparseSignal.h"
#include "platform/qt/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrovan {

namespace {

// kioslaverc is a few hundred bytes; a file far beyond that is not one to edit blindly.
constexpr qint64 kMaxConfigSize = 1 << 20;

bool IsKdeSession() {
    const QString desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const QString& name : desktops.split(u':', Qt::SkipEmptyParts)) {
        if (name.compare(u"KDE", Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

KdeProxyTarget::KdeProxyTarget(QString configFile, bool kdeSession)
    : configFile_(std::move(configFile)), kdeSession_(kdeSession) {}

std::unique_ptr<KdeProxyTarget> KdeProxyTarget::ForCurrentUser() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<KdeProxyTarget>(folder + QStringLiteral("/kioslaverc"), IsKdeSession());
}

bool KdeProxyTarget::Present() {
    return !configFile_.isEmpty() && (kdeSession_ || QFileInfo::exists(configFile_));
}

std::optional<std::string> KdeProxyTarget::ReadFile() const {
    QFile file(configFile_);
    if (!file.exists()) {
        return std::string();
    }
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxConfigSize) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxConfigSize + 1);
    if (bytes.size() > kMaxConfigSize) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

std::optional<DesktopProxyValue> KdeProxyTarget::Read() {
    const auto text = ReadFile();
    if (!text) {
        return std::nullopt;
    }
    return ReadKdeProxy(*text);
}

bool KdeProxyTarget::Write(const DesktopProxyValue& value) {
    const auto text = ReadFile();
    if (!text) {
        return false; // never replace a file that could not be read whole
    }
    const std::string updated = WriteKdeProxy(*text, value);
    if (!QDir().mkpath(QFileInfo(configFile_).absolutePath())) {
        return false;
    }
    // Written beside the original and renamed over it: a reader never sees half a file. The
    // user's own file may be a link into their dotfiles, which is followed.
    if (!SaveWholeFile(configFile_, QByteArrayView(updated.data(), static_cast<qsizetype>(updated.size())),
                       FileRole::UserChosen)) {
        return false;
    }
    EmitKioReparseSignal(); // KIO rereads the file when it next starts a worker anyway
    return true;
}

} // namespace kestrovan
