#include "window/ListBox.h"

#include <QKeyEvent>

namespace kestrovan {
namespace {

bool IsMoveKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void ListBox::keyPressEvent(QKeyEvent* event) {
    if (IsMoveKey(event->key()) && selectedItems().isEmpty()) {
        // Start from before the first entry, not from the unselected row Qt made current.
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    QListWidget::keyPressEvent(event);
}

QModelIndex ListBox::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // From no current row Qt goes to the first entry whatever the key; End goes to the last.
    if (cursorAction == MoveEnd && !currentIndex().isValid() && count() > 0) {
        return indexFromItem(item(count() - 1));
    }
    return QListWidget::moveCursor(cursorAction, modifiers);
}

} // namespace kestrovan
