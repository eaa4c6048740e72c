#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace kestrovan {
class PageLoader;
}

namespace kestrovan::test {

// Works a window as its user does. Every control is found by its object name: buttons are
// clicked, list entries are clicked with the mouse, and timers and page loads reach the window
// as the events they raise. Nothing is set behind the window's back.
class WindowDriver {
public:
    explicit WindowDriver(QWidget& window) : window_(window) {}

    // The control of that name. A missing one ends the program: every later step would read
    // the wrong control.
    template <typename Control = QWidget> Control& Find(const char* name) const {
        auto* control = window_.findChild<Control*>(QString::fromLatin1(name));
        if (control == nullptr) {
            Missing(name);
        }
        return *control;
    }

    // A click on a button; a disabled button ignores it, as it ignores the mouse.
    void Click(const char* button) const;
    bool IsEnabled(const char* control) const;
    bool HasFocus(const char* control) const;
    // A label's text.
    QString Text(const char* label) const;

    // The lines of a list, top to bottom, and the row of its current line (-1 for none).
    QStringList Lines(const char* list) const;
    int CurrentRow(const char* list) const;
    // Clicks the line at row with the left mouse button, scrolling it into view first.
    void Select(int row, const char* list = "List1") const;

    // The timer's interval elapses times times; its handler runs each time.
    void Tick(const char* timer, int times = 1) const;
    bool IsRunning(const char* timer) const;

    // One of the hidden browser controls (WebBrowser1 … WebBrowser4).
    PageLoader& Browser(const char* name) const;

private:
    [[noreturn]] static void Missing(const char* name);

    QWidget& window_;
};

} // namespace kestrovan::test
