#include "window/PlainToolTips.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

namespace kestrovan {
namespace {

class PlainToolTipFilter final : public QObject {
public:
    explicit PlainToolTipFilter(QAbstractItemView& view)
        : QObject(&view), view_(view), viewport_(view.viewport()) {}

    // Events come while the view is being destroyed too: only a tool tip's asks anything of it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != viewport_) {
            return false;
        }
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view_.indexAt(help->pos());
        const QString text = index.data(Qt::ToolTipRole).toString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        // Escaped into a paragraph of its own, the text reads as it is whatever it holds.
        QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(text), view_.viewport(),
                           view_.visualRect(index));
        return true;
    }

private:
    QAbstractItemView& view_;
    const QObject* const viewport_; // compared only, never used
};

} // namespace

void ShowToolTipsAsPlainText(QAbstractItemView& view) {
    view.viewport()->installEventFilter(new PlainToolTipFilter(view));
}

} // namespace kestrovan
