#pragma once

#include <QString>

namespace kestrovan {

// Where a text from outside the program (a registry value, an entry of a remote page) is shown.
enum class ShownIn {
    LogLine,  // control characters become blanks; past 200 characters it is cut and "..." follows
    Terminal, // control and format characters (escape sequences, direction marks) become "?";
              // past 60 characters it is cut to 60, the last three being "..."
};

// The text made safe to show there and short enough for it.
QString ShownText(QString text, ShownIn where);

} // namespace kestrovan
