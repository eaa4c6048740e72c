#pragma once

namespace kestrovan::test {

// For tests of what an ordinary user cannot write (file permissions do not bind root). As root,
// runs the current test again in a child process as the user "nobody", reports the child's
// outcome as this test's own and returns true: the caller returns at once. Otherwise (already an
// ordinary user) returns false and the caller runs the test itself.
bool RanAsNobody();

} // namespace kestrovan::test
