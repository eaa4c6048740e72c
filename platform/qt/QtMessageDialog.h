#pragma once

#include "platform/MessageDialog.h"
#include "platform/qt/DialogOwner.h"

#include <memory>

namespace kestrovan {

// QMessageBox, owned by the program's window once it is shown.
class QtMessageDialog final : public MessageDialog {
public:
    explicit QtMessageDialog(std::shared_ptr<const DialogOwner> owner) : owner_(std::move(owner)) {}
    MessageAnswer Show(const QString& text, const std::optional<QString>& title, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    std::shared_ptr<const DialogOwner> owner_;
};

} // namespace kestrovan
