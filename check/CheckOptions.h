#pragma once

#include "lookup/DelayText.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <variant>

namespace kestrovan {

struct CheckOptions {
    // Where the entries come from: the home site's list page when unset, "-" for standard input,
    // else a file in the export format.
    std::optional<QString> listFile;
    std::chrono::milliseconds timeout{kSpeedTestTickLimit * 100}; // as long as the window's speed test
    std::size_t concurrency = 1000;
    bool json = false;
    std::optional<QString> outFile;
    QString homeBase;   // "http://" host[:port]
    QString lookupBase; // likewise
    bool help = false;
};

struct UsageError {
    QString message;
};

// The options after the program's name; the base addresses default to the configured ones.
std::variant<CheckOptions, UsageError> ParseCheckOptions(const QStringList& arguments);

// What --help prints.
QString CheckHelpText();

} // namespace kestrovan
