#pragma once

#include <QListWidget>

namespace kestrovan {

// The message log, List2. The lines written during start-up are laid out once the window has
// been mapped, not while it is being shown: laying out the first Chinese line loads the fonts that
// the window's first paint loads anyway, so the window appears that much sooner. The newest line
// is scrolled to then.
class MessageLog final : public QListWidget {
public:
    using QListWidget::QListWidget;

    // Adds a line, makes it the current one and scrolls to it.
    void Append(const QString& line);

protected:
    bool event(QEvent* event) override;
};

} // namespace kestrovan
