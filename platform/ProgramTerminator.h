#pragma once

namespace kestrovan {

// Immediate end of the program.
class ProgramTerminator {
public:
    virtual ~ProgramTerminator() = default;
    ProgramTerminator(const ProgramTerminator&) = delete;
    ProgramTerminator& operator=(const ProgramTerminator&) = delete;

    // Ends the process at once: no handler runs and nothing is saved. The real one never returns;
    // a test double records the end and returns, and callers then return at once themselves.
    virtual void EndProgram() = 0;

protected:
    ProgramTerminator() = default;
};

} // namespace kestrovan
