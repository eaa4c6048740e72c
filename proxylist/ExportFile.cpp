#include "proxylist/ExportFile.h"

#include "proxylist/ExportText.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace kestrovan {

bool WriteExportFile(const QString& path, std::span<const std::u16string> entries) {
    // ASCII goes out unchanged.
    QStringEncoder toAnsi(QStringEncoder::System);
    const QByteArray bytes = toAnsi.encode(QString::fromStdU16String(BuildExportText(entries)));

    // Written beside the target and renamed into place: a failed write keeps the old file.
    // The explicit flush matters: Qt 6.4's commit() overlooks a short write of its buffer
    // (full disk, size limit) and would rename the truncated file over the old one.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.commit();
}

} // namespace kestrovan
