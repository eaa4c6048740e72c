#include "window/MessageLog.h"

#include <QEvent>
#include <QTimer>

namespace kestrovan {

void MessageLog::Append(const QString& line) {
    addItem(line);
    setCurrentRow(count() - 1);
    if (isVisible()) {
        scrollToItem(currentItem());
    }
}

bool MessageLog::event(QEvent* event) {
    if (event->type() == QEvent::Show && !window()->testAttribute(Qt::WA_Mapped)) {
        // The view would lay out every line now; its layout timer does so after the map instead.
        QTimer::singleShot(0, this, [this] {
            if (const QListWidgetItem* last = currentItem()) {
                scrollToItem(last);
            }
        });
        return QAbstractScrollArea::event(event);
    }
    return QListWidget::event(event);
}

} // namespace kestrovan
