#include "platform/qt/WholeFile.h"

#include "platform/FileOpening.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kestrovan {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
// The most a file written in place may hold beforehand: its old bytes are kept in memory to be
// put back. A larger one is not written in place at all.
constexpr qint64 kMaxInPlaceOldBytes = 16 * 1024 * 1024;

bool WriteAll(QFileDevice& file, QByteArrayView bytes) {
    // The explicit flush matters: Qt 6.4's QSaveFile::commit() overlooks a short write of its
    // buffer and would rename a truncated file over the old one.
    return file.write(bytes.data(), bytes.size()) == bytes.size() && file.flush();
}

// A device or pipe the user named takes the bytes as they come; there is nothing to replace.
bool WriteIntoDevice(const QString& path, QByteArrayView bytes) {
    QFile file;
    if (!OpenDeviceForWriting(file, path)) {
        return false;
    }
    const bool written = WriteAll(file, bytes);
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

// A plain file in a folder that takes no new files can only be overwritten where it is. A write
// cut short (full disk, size limit) puts the old bytes back, so that a failure loses nothing.
bool OverwriteInPlace(const QString& path, QByteArrayView bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || file.size() > kMaxInPlaceOldBytes) {
        return false;
    }
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError || old.size() != file.size()) {
        return false;
    }
    if (file.seek(0) && WriteAll(file, bytes) && file.resize(bytes.size())) {
        file.close();
        return file.error() == QFileDevice::NoError;
    }
    file.unsetError();
    // The old bytes fit where they were, so putting them back needs no new space.
    if (file.seek(0) && WriteAll(file, old)) {
        file.resize(old.size());
    }
    return false;
}

} // namespace

bool MakePrivateFolders(const QString& dir) {
    const QFileInfo info(dir);
    if (info.isDir()) {
        return true;
    }
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath() || !MakePrivateFolders(parent)) {
        return false;
    }
    return QDir().mkdir(info.absoluteFilePath(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner) ||
           QFileInfo(dir).isDir();
}

bool SaveWholeFile(const QString& path, QByteArrayView bytes, FileRole role) {
    const QFileInfo target(path);
    if (role == FileRole::State) {
        if (!MakePrivateFolders(target.absolutePath())) {
            return false;
        }
        // QSaveFile would write through a link; what is not a plain file goes first.
        if ((target.isSymLink() || (target.exists() && !target.isFile())) && !QFile::remove(path)) {
            return false;
        }
    } else if (target.exists() && !target.isFile() && !target.isDir()) {
        return WriteIntoDevice(path, bytes);
    }
    QSaveFile file(path);
    // Qt's own fallback empties the old file before writing: a short write would lose it.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return role == FileRole::UserChosen && target.isFile() && OverwriteInPlace(path, bytes);
    }
    // The temporary file is made private before anything goes in; the rename keeps its mode.
    if (role == FileRole::State && !file.setPermissions(kOwnerOnly)) {
        return false;
    }
    return WriteAll(file, bytes) && file.commit();
}

std::optional<QByteArray> ReadPlainFile(const QString& path, qint64 maxBytes) {
    QFile file;
    if (!OpenPlainFileForReading(file, path)) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace kestrovan
