#include "tests/support/WindowDriver.h"

#include "platform/PageLoader.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace kestrovan::test {

void WindowDriver::Missing(const char* name) {
    std::fprintf(stderr, "the window has no control named %s\n", name);
    std::abort();
}

void WindowDriver::Click(const char* button) const {
    Find<QAbstractButton>(button).click();
}

bool WindowDriver::IsEnabled(const char* control) const {
    return Find(control).isEnabled();
}

bool WindowDriver::HasFocus(const char* control) const {
    return window_.focusWidget() == &Find(control);
}

QString WindowDriver::Text(const char* label) const {
    return Find<QLabel>(label).text();
}

QStringList WindowDriver::Lines(const char* list) const {
    const auto& widget = Find<QListWidget>(list);
    QStringList lines;
    for (int i = 0; i < widget.count(); ++i) {
        lines << widget.item(i)->text();
    }
    return lines;
}

int WindowDriver::CurrentRow(const char* list) const {
    return Find<QListWidget>(list).currentRow();
}

void WindowDriver::Select(int row, const char* list) const {
    auto& widget = Find<QListWidget>(list);
    QListWidgetItem* item = widget.item(row);
    if (item == nullptr) {
        std::fprintf(stderr, "%s has no line %d\n", list, row);
        std::abort();
    }
    widget.scrollToItem(item);
    QTest::mouseClick(widget.viewport(), Qt::LeftButton, Qt::NoModifier,
                      widget.visualItemRect(item).center());
}

void WindowDriver::Tick(const char* timer, int times) const {
    auto& source = Find<QTimer>(timer);
    for (int i = 0; i < times; ++i) {
        QMetaObject::invokeMethod(&source, "timeout", Qt::DirectConnection);
    }
}

bool WindowDriver::IsRunning(const char* timer) const {
    return Find<QTimer>(timer).isActive();
}

PageLoader& WindowDriver::Browser(const char* name) const {
    return Find<PageLoader>(name);
}

} // namespace kestrovan::test
