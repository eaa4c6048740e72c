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
    std::chrono::milliseconds timeout{kSpeedTestLimit}; // as long as the window's speed test
    std::size_t concurrency = 1000;
    bool json = false;
    std::optional<QString> outFile;
    QString homeBase;   // "http://" host[:port]
    QString lookupBase; // likewise
    // The TLS server each proxy's CONNECT tunnel is tried with: "https://" host[:port] "/".
    QString tunnelUrl;
    // A PEM file of certificates trusted for it beside the system's store and the build's own.
    std::optional<QString> caFile;
    bool httpsOnly = false; // only entries with verified HTTPS count as working
    bool help = false;
};

struct UsageError {
    QString message;
};

// The options after the program's name; the base addresses default to the configured ones.
std::variant<CheckOptions, UsageError> ParseCheckOptions(const QStringList& arguments);

// The CA certificates (PEM) this build trusts for the tunnel test beside the system's; empty in a
// release build.
QByteArray ConfiguredTunnelTrust();

// What --help prints.
QString CheckHelpText();

} // namespace kestrovan
