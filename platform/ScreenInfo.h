#pragma once

#include <QSize>

namespace kestrovan {

class ScreenInfo {
public:
    virtual ~ScreenInfo() = default;
    ScreenInfo(const ScreenInfo&) = delete;
    ScreenInfo& operator=(const ScreenInfo&) = delete;

    // The size of the screen the window opens on, in logical pixels.
    virtual QSize ScreenSize() const = 0;

protected:
    ScreenInfo() = default;
};

} // namespace kestrovan
