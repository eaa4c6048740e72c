// Selecting an entry of List1, and exporting the list with Command2.
#include "proxylist/ProxyListController.h"

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
    const qsizetype colon = entry.indexOf(u':');
    if (colon < 0) {
        // Not host:port: nothing usable is selected, which the commands report as such.
        Text1_.clear();
        Text2_.clear();
        return;
    }
    Text1_ = entry.left(colon);
    Text2_ = entry.mid(colon + 1);
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
