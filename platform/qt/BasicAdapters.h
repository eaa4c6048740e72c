#pragma once

#include "platform/ProgramTerminator.h"
#include "platform/ScreenInfo.h"
#include "platform/Sleeper.h"

namespace kestrovan {

class ThreadSleeper final : public Sleeper {
public:
    ThreadSleeper() = default;
    void Sleep(int milliseconds) override;
};

class ImmediateTerminator final : public ProgramTerminator {
public:
    ImmediateTerminator() = default;
    [[noreturn]] void EndProgram() override;
};

class QtScreenInfo final : public ScreenInfo {
public:
    QtScreenInfo() = default;
    QSize ScreenSize() const override;
};

} // namespace kestrovan
