#include "proxylist/ExportFile.h"

#include "platform/qt/WholeFile.h"
#include "proxylist/ExportText.h"
#include "text/AnsiText.h"

namespace kestrovan {

bool WriteExportFile(const QString& path, std::span<const std::u16string> entries) {
    // ASCII goes out unchanged.
    const QByteArray bytes = ToAnsiBytes(QString::fromStdU16String(BuildExportText(entries)));

    return SaveWholeFile(path, bytes, FileRole::UserChosen);
}

} // namespace kestrovan
