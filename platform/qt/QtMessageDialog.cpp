#include "platform/qt/QtMessageDialog.h"

#include "window/ProgramIdentity.h"

#include <QApplication>
#include <QMessageBox>

namespace kestrovan {

MessageAnswer QtMessageDialog::Show(const QString& text, const std::optional<QString>& title,
                                    MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(icon == MessageIcon::Question ? QMessageBox::Question : QMessageBox::NoIcon,
                    title.value_or(ProgramIdentity::Title()), text,
                    buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                        : QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    if (buttons == MessageButtons::OkCancel) {
        box.setEscapeButton(QMessageBox::Cancel);
    }
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

} // namespace kestrovan
