#pragma once

#include <QFile>
#include <QString>

namespace kestrovan {

// The steps of writing and reading a whole file (qt/WholeFile) that each system takes its own way.

// Opens a device or pipe the user named for writing, unbuffered; false when it cannot be opened.
// Where the system would wait for a pipe's reader, a pipe without one is refused at once instead.
bool OpenDeviceForWriting(QFile& file, const QString& path);

// Opens path for reading when it is a plain file, without following a link and without waiting on a
// pipe; false for anything else.
bool OpenPlainFileForReading(QFile& file, const QString& path);

} // namespace kestrovan
