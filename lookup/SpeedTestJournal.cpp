#include "lookup/SpeedTestJournal.h"

#include "platform/RegistryOperations.h"
#include "platform/qt/WholeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLockFile>
#include <QSysInfo>

namespace kestrovan {

namespace {

constexpr QByteArrayView kHeader = "kestrovan speed test 1";
constexpr QByteArrayView kTested = "tested";
constexpr QByteArrayView kServer = "ProxyServer";
constexpr QByteArrayView kEnable = "ProxyEnable";
constexpr QByteArrayView kAbsent = "absent";
constexpr QByteArrayView kRestoring = "restoring";
constexpr QByteArrayView kEnd = "end";
// Far above any proxy setting; the bound keeps a stray large file from being read whole.
constexpr qint64 kMaxJournalBytes = 4 * 1024 * 1024;
// A lock that names another machine cannot be checked for a live holder. A test ends within
// seconds; a lock this old was left by a program that died there.
constexpr qint64 kForeignLockMaxAgeMs = 10 * 60 * 1000;

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray ValueLine(QByteArrayView name, const std::optional<RegValue>& value) {
    QByteArray line = name.toByteArray() + ' ';
    if (!value) {
        return line + kAbsent.toByteArray();
    }
    if (const auto* number = std::get_if<std::uint32_t>(&*value)) {
        const auto little = DwordBytes(*number);
        return line + QByteArray::number(kRegDword) + ' ' +
               QByteArray(reinterpret_cast<const char*>(little.data()), 4).toHex();
    }
    return line + QByteArray::number(kRegSz) + ' ' + Bytes(std::get<std::string>(*value)).toHex();
}

std::optional<QByteArray> FromHex(QByteArrayView hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    for (const char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return std::nullopt;
        }
    }
    return QByteArray::fromHex(hex.toByteArray());
}

// One value line; the outer optional is empty when the line is not a well-formed one for name.
std::optional<std::optional<RegValue>> ParseValueLine(QByteArrayView line, QByteArrayView name) {
    const QList<QByteArray> fields = line.toByteArray().split(' ');
    if (fields.size() == 2 && fields[0] == name && fields[1] == kAbsent) {
        return std::optional<RegValue>();
    }
    if (fields.size() != 3 || fields[0] != name) {
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = FromHex(fields[2]);
    if (!bytes) {
        return std::nullopt;
    }
    if (fields[1] == QByteArray::number(kRegSz)) {
        return std::optional<RegValue>(bytes->toStdString());
    }
    if (fields[1] == QByteArray::number(kRegDword) && bytes->size() == 4) {
        return std::optional<RegValue>(DwordFromBytes(std::as_bytes(std::span(*bytes)).first<4>()));
    }
    return std::nullopt;
}

} // namespace

bool LeftBySpeedTest(const SpeedTestRecord& record, const ProxySettingsSnapshot& current) {
    const std::optional<RegValue> on = RegValue(std::uint32_t{1});
    const std::optional<RegValue> tested = RegValue(record.tested);
    if (current.proxyServer == tested) {
        // Switched to the tested proxy, or cut short between its two writes.
        return current.proxyEnable == on || current.proxyEnable == record.before.proxyEnable;
    }
    // Cut short between the two writes that give the setting back.
    return record.restoring && current.proxyServer == record.before.proxyServer && current.proxyEnable == on;
}

QByteArray SpeedTestRecordText(const SpeedTestRecord& record) {
    return kHeader.toByteArray() + '\n' + kTested.toByteArray() + ' ' + Bytes(record.tested).toHex() + '\n' +
           ValueLine(kServer, record.before.proxyServer) + '\n' +
           ValueLine(kEnable, record.before.proxyEnable) + '\n' +
           (record.restoring ? kRestoring.toByteArray() + '\n' : QByteArray()) + kEnd.toByteArray() + '\n';
}

std::optional<SpeedTestRecord> ParseSpeedTestRecord(QByteArrayView text) {
    // The closing line comes last: a record cut off anywhere lacks it. The restore's mark before
    // it is optional, so that a journal from before the mark existed still reads.
    const qsizetype lineCount = text.count('\n');
    if (!text.endsWith(QByteArrayView("\n")) || (lineCount != 5 && lineCount != 6)) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = text.chopped(1).toByteArray().split('\n');
    const bool restoring = lineCount == 6;
    if (lines[0] != kHeader || lines.back() != kEnd || (restoring && lines[4] != kRestoring) ||
        !lines[1].startsWith(kTested.toByteArray() + ' ')) {
        return std::nullopt;
    }
    const std::optional<QByteArray> tested = FromHex(QByteArrayView(lines[1]).sliced(kTested.size() + 1));
    const auto server = ParseValueLine(lines[2], kServer);
    const auto enable = ParseValueLine(lines[3], kEnable);
    if (!tested || !server || !enable) {
        return std::nullopt;
    }
    return SpeedTestRecord{{*server, *enable}, tested->toStdString(), restoring};
}

SpeedTestJournal::SpeedTestJournal(QString file) : file_(std::move(file)) {}

SpeedTestJournal::~SpeedTestJournal() = default;

QString SpeedTestJournal::FileIn(const std::filesystem::path& folder) {
    if (folder.empty()) {
        return {};
    }
    return QDir(QString::fromStdU16String(folder.u16string())).filePath(QStringLiteral("speedtest.journal"));
}

SpeedTestJournal::LockState SpeedTestJournal::Lock() {
    if (lock_) {
        return LockState::Held;
    }
    if (!MakePrivateFolders(QFileInfo(file_).absolutePath())) {
        return LockState::Failed;
    }
    const QString lockFile = file_ + QStringLiteral(".lock");
    // Only a plain file is a lock. Anything else goes before QLockFile reads it: it would wait on
    // a pipe for good. A folder that is not empty stays, and nothing can lock.
    const QFileInfo found(lockFile);
    if (found.isSymLink() || (found.exists() && !found.isFile())) {
        const bool removed =
            !found.isSymLink() && found.isDir() ? QDir().rmdir(lockFile) : QFile::remove(lockFile);
        if (!removed) {
            return LockState::Failed;
        }
    } else if (found.exists() && !found.isReadable()) {
        return LockState::Failed; // its holder cannot be named, so it is neither live nor stale
    }
    auto lock = std::make_unique<QLockFile>(lockFile);
    // Only a holder that is no longer running makes the lock stale; a test may outlast any age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
        // A lock that names no holder (empty, cut off) can never be released by one; nor can one
        // from another machine, once older than any test there.
        qint64 pid = 0;
        QString host;
        QString application;
        const bool named = lock->getLockInfo(&pid, &host, &application);
        const bool foreignAndOld =
            named && !host.isEmpty() && host != QSysInfo::machineHostName() &&
            qAbs(QFileInfo(lockFile).lastModified().msecsTo(QDateTime::currentDateTime())) >
                kForeignLockMaxAgeMs;
        if ((named && !foreignAndOld) || !lock->removeStaleLockFile() || !lock->tryLock(0)) {
            return lock->error() == QLockFile::LockFailedError ? LockState::HeldElsewhere : LockState::Failed;
        }
    }
    if (!lock->isLocked()) {
        return LockState::Failed;
    }
    QFile::setPermissions(lockFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    lock_ = std::move(lock);
    return LockState::Held;
}

SpeedTestJournal::Kept SpeedTestJournal::Write(const SpeedTestRecord& record) {
    if (file_.isEmpty()) {
        return Kept::Yes;
    }
    const QByteArray text = SpeedTestRecordText(record);
    if (text.size() > kMaxJournalBytes) {
        return Kept::No;
    }
    switch (Lock()) {
    case LockState::Held:
        break;
    case LockState::HeldElsewhere:
        return Kept::InUseElsewhere;
    case LockState::Failed:
        return Kept::CannotLock;
    }
    return SaveWholeFile(file_, text, FileRole::State) ? Kept::Yes : Kept::No;
}

SpeedTestJournal::Reading SpeedTestJournal::Read() {
    if (file_.isEmpty() || (!QFileInfo::exists(file_) && !QFileInfo(file_).isSymLink())) {
        return {};
    }
    switch (Lock()) {
    case LockState::Held:
        break;
    case LockState::HeldElsewhere:
        return {Found::InUse, std::nullopt}; // another instance's test is still running
    case LockState::Failed:
        return {Found::CannotLock, std::nullopt};
    }
    // A link, a pipe or a device is no journal of ours: it is never followed or waited on.
    const std::optional<QByteArray> text = ReadPlainFile(file_, kMaxJournalBytes);
    std::optional<SpeedTestRecord> record = text ? ParseSpeedTestRecord(*text) : std::nullopt;
    if (!record) {
        return {Found::Damaged, std::nullopt};
    }
    return {Found::Record, std::move(record)};
}

bool SpeedTestJournal::Remove() {
    if (file_.isEmpty()) {
        return true;
    }
    const bool removed = (!QFileInfo::exists(file_) && !QFileInfo(file_).isSymLink()) || QFile::remove(file_);
    lock_.reset(); // unlocks and removes the lock file
    return removed;
}

} // namespace kestrovan
