#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace kestrovan {

// The window that the program's dialogs belong to, shared by the message box and the save dialog.
class DialogOwner {
public:
    void SetWindow(QWidget* window) { window_ = window; }

    // The parent of a dialog shown now: the window while it is on the screen, so that the dialog is
    // modal to it, stays above it and is centred over it; none before the window is shown (the
    // start-up boxes) or while it is minimised, so that the dialog centres on the screen and is seen.
    QWidget* DialogParent() const {
        return window_ && window_->isVisible() && !window_->isMinimized() ? window_.data() : nullptr;
    }

    // The title of a box that names none: the program's title, which is the window's caption.
    QString DefaultTitle() const { return window_ ? window_->windowTitle() : QString(); }

private:
    QPointer<QWidget> window_;
};

} // namespace kestrovan
