#pragma once

#include <QString>

#include <optional>

namespace kestrovan {

enum class MessageIcon { None, Question };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

// Modal message boxes.
class MessageDialog {
public:
    virtual ~MessageDialog() = default;
    MessageDialog(const MessageDialog&) = delete;
    MessageDialog& operator=(const MessageDialog&) = delete;

    // Shows a modal box and returns the button chosen; a box dismissed without OK answers Cancel.
    // A missing title means the program's default title.
    virtual MessageAnswer Show(const QString& text, const std::optional<QString>& title, MessageIcon icon,
                               MessageButtons buttons) = 0;

protected:
    MessageDialog() = default;
};

} // namespace kestrovan
