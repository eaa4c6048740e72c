#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace kestrovan {

enum class FileRole {
    // The program's own state: the folders are made owner-only (0700) and the file is 0600. A
    // link or anything but a plain file at the path is replaced, never followed or written into.
    State,
    // A file the user names: a link is followed; a device or pipe is written straight into; a
    // plain file in a folder that takes no new files is overwritten in place, its old bytes put
    // back should the write fall short.
    UserChosen,
};

// Replaces the file at path with bytes, whole or not at all: written beside it, flushed, checked
// and renamed over it, so that a short write (full disk, size limit) keeps the old file. False
// when the bytes did not all reach the file.
bool SaveWholeFile(const QString& path, QByteArrayView bytes, FileRole role);

// The bytes of a plain file of at most maxBytes, read without following a link and without
// waiting on a pipe; nullopt for anything else (missing, a link, a pipe, too large, unreadable).
std::optional<QByteArray> ReadPlainFile(const QString& path, qint64 maxBytes);

// Makes dir and every missing folder above it, each owner-only. True when dir is a folder.
bool MakePrivateFolders(const QString& dir);

} // namespace kestrovan
