#pragma once

#include "platform/MessageDialog.h"

namespace kestrovan {

class QtMessageDialog final : public MessageDialog {
public:
    QtMessageDialog() = default;
    MessageAnswer Show(const QString& text, const std::optional<QString>& title, MessageIcon icon,
                       MessageButtons buttons) override;
};

} // namespace kestrovan
