#pragma once

#include <QString>

namespace kestrovan {

// Where a text from outside the program (a registry value, an entry of a remote page) is shown.
enum class ShownIn {
    LogLine,  // control characters and line or paragraph separators become blanks; past 200
              // characters it is cut and "..." follows
    Terminal, // control, format and invisible characters (escape sequences, direction marks,
              // zero-width and tag characters, separators) become "?"; past 60 characters it is
              // cut to 60, the last three being "..."
};

// The text made safe to show there and short enough for it. Characters are code points: a pair of
// UTF-16 halves is one, and is never cut apart; a lone half counts as a control character.
QString ShownText(QString text, ShownIn where);

// True for a code point that moves, hides or reorders text rather than showing as a sign of its
// own: controls, format characters (direction marks, zero-width characters, the byte-order mark,
// tag characters), line and paragraph separators, and lone UTF-16 halves.
bool IsInvisibleOrControl(char32_t c);

} // namespace kestrovan
