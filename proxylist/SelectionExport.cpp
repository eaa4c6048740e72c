// Selecting an entry of List1, and exporting the list with Command2.
#include "proxylist/ProxyListController.h"

#include "platform/InternetSettings.h"
#include "proxylist/ExportFile.h"

#include <QListWidget>

#include <vector>

namespace kestrovan {

void ProxyListController::List1_Click() {
    const QList<QListWidgetItem*> selected = List1.selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const QString entry = selected.constFirst()->text();
    const auto parts = SplitHostAndPort(std::u16string_view(QStringView(entry).utf16(), entry.size()));
    if (!parts) {
        // Not host:port: nothing usable is selected, which the commands report as such.
        Text1_.clear();
        Text2_.clear();
        return;
    }
    Text1_ = QString::fromStdU16String(std::u16string(parts->host));
    Text2_ = QString::fromStdU16String(std::u16string(parts->port));
}

void ProxyListController::Command2_Click() {
    const SaveDialogOptions options{QStringLiteral("保存代理"),
                                    QStringLiteral("文本文件(*.txt)|*.txt|word文档(*.doc)|*.doc"),
                                    /*overwritePrompt=*/true};
    const std::optional<QString> fileName = services_.saveDialog.ShowSave(options);
    if (!fileName) {
        return;
    }
    std::vector<std::u16string> entries;
    entries.reserve(static_cast<std::size_t>(List1.count()));
    for (int i = 0; i < List1.count(); ++i) {
        entries.push_back(List1.item(i)->text().toStdU16String());
    }
    if (!WriteExportFile(*fileName, entries)) {
        appendLog_(QStringLiteral("代理导出失败,无法写入文件."));
    }
}

} // namespace kestrovan
