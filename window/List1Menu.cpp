// List1's context menu: the check of the whole list, by the mouse, the Menu key or Shift+F10.
#include "window/Frmhome.h"

#include "window/ListCheck.h"
#include "window/ProxyWatch.h"

#include <QKeyEvent>

namespace kestrovan {
namespace {

// The Menu key and Shift+F10 open the menu at the current entry, whatever the platform makes of them.
class MenuKeyFilter final : public QObject {
public:
    MenuKeyFilter(QListWidget* list, std::function<void(const QPoint&)> open)
        : QObject(list), list_(list), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != list_ || event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) ||
            (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier)) {
            const QListWidgetItem* current = list_->currentItem();
            open_(current ? list_->visualItemRect(current).center() : QPoint(0, 0));
            return true;
        }
        return false;
    }

private:
    QListWidget* list_;
    std::function<void(const QPoint&)> open_;
};

} // namespace

void Frmhome::BuildList1Menu() {
    list1Menu_ = new QMenu(List1);
    list1Menu_->setObjectName(QStringLiteral("List1Menu"));
    const auto addItem = [this](const char* name, const QString& caption, auto handler) {
        QAction* action = list1Menu_->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
    };
    addItem("CheckAllAction", QStringLiteral("检测全部代理"), [this] { listCheck_->CheckAll(); });
    addItem("RemoveFailedAction", QStringLiteral("删除不可用代理"), [this] { listCheck_->RemoveFailed(); });
    addItem("StopCheckAction", QStringLiteral("停止检测"), [this] { listCheck_->Stop(); });
    list1Menu_->addSeparator();
    QAction* autoSwitch = list1Menu_->addAction(QStringLiteral("自动切换失效代理"));
    autoSwitch->setObjectName(QStringLiteral("AutoSwitchAction"));
    autoSwitch->setCheckable(true);
    autoSwitch->setChecked(proxyWatch_->On());
    connect(autoSwitch, &QAction::triggered, this, [this](bool on) { proxyWatch_->SetOn(on); });
    List1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List1, &QWidget::customContextMenuRequested, this, &Frmhome::ShowList1Menu);
    List1->installEventFilter(
        new MenuKeyFilter(List1, [this](const QPoint& position) { ShowList1Menu(position); }));
}

// position: in the coordinates of List1's viewport, where its context menu requests come from.
void Frmhome::ShowList1Menu(const QPoint& position) {
    const QList<QAction*> actions = list1Menu_->actions();
    actions[0]->setEnabled(!listCheck_->Running() && List1->count() > 0);
    actions[1]->setEnabled(!listCheck_->Running() && listCheck_->HasFailures());
    actions[2]->setEnabled(listCheck_->Running());
    list1Menu_->popup(List1->viewport()->mapToGlobal(position));
}

} // namespace kestrovan
