// Closing, signing out and the fixed size of Frmhome.
#include "window/Frmhome.h"

#include "window/ListCheck.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QSessionManager>

namespace kestrovan {

void Frmhome::Command4_Click() {
    close(); // the same request as the close box: it runs the confirmation below
}

// Every request to close the window, whatever its source, asks first.
void Frmhome::closeEvent(QCloseEvent* event) {
    if (!AskToEnd()) {
        event->ignore();
        return;
    }
    event->accept();
}

// The user signs out: the session manager asks before the session's end is decided, so that
// Cancel can still stop it. Without leave to ask, the end of the session takes its own path
// (EndForSystemRequest).
void Frmhome::SessionEnding(QSessionManager& manager) {
    if (!manager.allowsInteraction()) {
        return;
    }
    if (!AskToEnd()) {
        manager.cancel();
    }
    manager.release();
}

bool Frmhome::AskToEnd() {
    const MessageAnswer answer =
        adapters_.messageDialog.Show(QStringLiteral("您是否确定退出程序?"), QStringLiteral("退出提示"),
                                     MessageIcon::Question, MessageButtons::OkCancel);
    if (answer != MessageAnswer::Ok) {
        return false;
    }
    EndAsConfirmed();
    return true;
}

void Frmhome::EndAsConfirmed() {
    // A speed test still running gives the system proxy back as it was before the test.
    speedTest_->EndOfProgram();
    listCheck_->Stop(); // no transfer outlives the window
    adapters_.terminator.EndProgram();
}

bool Frmhome::EndForSystemRequest() {
    if (!speedTest_->Running()) {
        return false;
    }
    EndAsConfirmed();
    return true;
}

void Frmhome::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize designSize(Pixels(kClientWidthTwips), Pixels(kClientHeightTwips));
    if (!isMinimized() && size() != designSize) {
        resize(designSize);
    }
}

} // namespace kestrovan
