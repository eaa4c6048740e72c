// Closing and the fixed size of Frmhome.
#include "window/Frmhome.h"

#include <QCloseEvent>
#include <QResizeEvent>

namespace kestrovan {

void Frmhome::Command4_Click() {
    close(); // the same request as the close box: it runs the confirmation below
}

// Every request to close the window, whatever its source, asks first.
void Frmhome::closeEvent(QCloseEvent* event) {
    const MessageAnswer answer =
        adapters_.messageDialog.Show(QStringLiteral("您是否确定退出程序?"), QStringLiteral("退出提示"),
                                     MessageIcon::Question, MessageButtons::OkCancel);
    if (answer != MessageAnswer::Ok) {
        event->ignore();
        return;
    }
    EndAsConfirmed();
    event->accept();
}

void Frmhome::EndAsConfirmed() {
    // A speed test still running gives the system proxy back as it was before the test.
    EndSpeedTest();
    adapters_.terminator.EndProgram();
}

bool Frmhome::EndForSystemRequest() {
    if (!speedTestRecord_) {
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
