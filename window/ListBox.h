#pragma once

#include <QListWidget>

namespace kestrovan {

// A single-selection list box whose move keys, while nothing is selected, select an entry: End
// the last, the others the first. Qt makes the first row current, but not selected, when the list
// takes the focus, and would move on from there: the first Down would land on the second entry.
class ListBox final : public QListWidget {
public:
    explicit ListBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
};

} // namespace kestrovan
