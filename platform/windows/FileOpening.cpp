#include "platform/FileOpening.h"

#include <QFileInfo>

namespace kestrovan {

bool OpenDeviceForWriting(QFile& file, const QString& path) {
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool OpenPlainFileForReading(QFile& file, const QString& path) {
    const QFileInfo target(path);
    if (target.isSymLink() || !target.isFile()) {
        return false;
    }
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

} // namespace kestrovan
