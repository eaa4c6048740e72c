#include "platform/qt/QtSaveDialog.h"

#include <QFileDialog>

namespace kestrovan {

QStringList QtSaveDialog::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        // A description that already names its pattern, as "文本文件(*.txt)" does, is kept whole;
        // Qt reads the pattern from the parentheses.
        if (!description.contains(u'(')) {
            description += QStringLiteral(" (%1)").arg(parts[i + 1]);
        }
        filters << description;
    }
    return filters;
}

std::optional<QString> QtSaveDialog::ShowSave(const SaveDialogOptions& options) {
    QFileDialog dialog(owner_->DialogParent(), options.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.overwritePrompt);
    dialog.setOption(QFileDialog::DontUseNativeDialog, kind_ == FileDialogKind::QtOwn);
    dialog.setNameFilters(NameFilters(options.filter));
    dialog.setDefaultSuffix(QString());
    if (!fileName_.isEmpty()) {
        dialog.selectFile(fileName_);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    fileName_ = dialog.selectedFiles().constFirst();
    return fileName_;
}

} // namespace kestrovan
