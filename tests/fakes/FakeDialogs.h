#pragma once

#include "platform/MessageDialog.h"
#include "platform/SaveDialog.h"

#include <deque>
#include <functional>
#include <vector>

namespace kestrovan::test {

struct ShownMessage {
    QString text;
    std::optional<QString> title;
    MessageIcon icon;
    MessageButtons buttons;
};

// Message boxes that answer from a script (OK when the script is empty) and remember what they showed.
class FakeMessageDialog final : public MessageDialog {
public:
    FakeMessageDialog() = default;

    MessageAnswer Show(const QString& text, const std::optional<QString>& title, MessageIcon icon,
                       MessageButtons buttons) override {
        shown_.push_back({text, title, icon, buttons});
        if (onShow_) {
            onShow_(shown_.back());
        }
        if (answers_.empty()) {
            return MessageAnswer::Ok;
        }
        const MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
    // Runs while a box is showing, before it is answered (lets a test see what happened before it).
    void OnShow(std::function<void(const ShownMessage&)> hook) { onShow_ = std::move(hook); }
    const std::vector<ShownMessage>& Shown() const { return shown_; }

private:
    std::function<void(const ShownMessage&)> onShow_;
    std::deque<MessageAnswer> answers_;
    std::vector<ShownMessage> shown_;
};

// A save dialog that returns the next scripted path, or cancels when there is none.
class FakeSaveDialog final : public SaveDialog {
public:
    FakeSaveDialog() = default;

    std::optional<QString> ShowSave(const SaveDialogOptions& options) override {
        shown_.push_back(options);
        if (answers_.empty()) {
            return std::nullopt;
        }
        // Not a copy of the optional: GCC at -O2 takes a copied optional<QString> for uninitialised.
        const bool cancels = !answers_.front().has_value();
        const QString path = answers_.front().value_or(QString());
        answers_.pop_front();
        return cancels ? std::nullopt : std::optional<QString>(path);
    }

    void QueueAnswer(std::optional<QString> path) { answers_.push_back(std::move(path)); }
    const std::vector<SaveDialogOptions>& Shown() const { return shown_; }

private:
    std::deque<std::optional<QString>> answers_;
    std::vector<SaveDialogOptions> shown_;
};

} // namespace kestrovan::test
