#pragma once

#include "platform/MessageDialog.h"

#include <vector>

namespace kestrovan::test {

// Records each message box and answers OK.
class RecordingMessageDialog final : public MessageDialog {
public:
    struct Shown {
        QString text;
        std::optional<QString> title;
        MessageIcon icon;
        MessageButtons buttons;
    };
    std::vector<Shown> shown;

    MessageAnswer Show(const QString& text, const std::optional<QString>& title, MessageIcon icon,
                       MessageButtons buttons) override {
        shown.push_back({text, title, icon, buttons});
        return MessageAnswer::Ok;
    }
};

} // namespace kestrovan::test
