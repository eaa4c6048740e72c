#pragma once

namespace kestrovan {

// A blocking pause of the calling (window) thread.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    // Suspends the calling thread; no window event is handled meanwhile.
    virtual void Sleep(int milliseconds) = 0;

protected:
    Sleeper() = default;
};

} // namespace kestrovan
