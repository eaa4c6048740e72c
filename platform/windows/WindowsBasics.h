#pragma once

#include "platform/ProgramTerminator.h"
#include "platform/Sleeper.h"

namespace kestrovan {

class WindowsSleeper final : public Sleeper {
public:
    WindowsSleeper() = default;
    void Sleep(int milliseconds) override;
};

class WindowsTerminator final : public ProgramTerminator {
public:
    WindowsTerminator() = default;
    [[noreturn]] void EndProgram() override;
};

} // namespace kestrovan
