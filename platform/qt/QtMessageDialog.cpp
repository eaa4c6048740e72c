#include "platform/qt/QtMessageDialog.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace kestrovan {

MessageAnswer QtMessageDialog::Show(const QString& text, const std::optional<QString>& title,
                                    MessageIcon icon, MessageButtons buttons) {
    QString defaultTitle = owner_->DefaultTitle();
    if (defaultTitle.isEmpty()) {
        defaultTitle = QCoreApplication::applicationName();
    }
    QMessageBox box(icon == MessageIcon::Question ? QMessageBox::Question : QMessageBox::NoIcon,
                    title.value_or(defaultTitle), text,
                    buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                        : QMessageBox::Ok,
                    owner_->DialogParent());
    // Messages may quote what a page or the registry holds: never let Qt read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    if (buttons == MessageButtons::OkCancel) {
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

} // namespace kestrovan
