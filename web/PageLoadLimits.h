#pragma once

#include <cstdint>

namespace kestrovan {

// What one page load may take, the same for the window's page loader and for kestrovan-check.

// A larger page is dropped as a failed load. The pages this program reads are tens of kilobytes;
// parsing costs about 25 times the page size in memory and blocks the window while it runs (about
// 0.25 s at this size), so the cap stays well below what would hurt.
inline constexpr std::int64_t kMaxPageBytes = 4 * 1024 * 1024;
// A server or proxy that stops sending ends the load after this long without data.
inline constexpr int kPageTransferTimeoutMs = 60'000;
// Redirects are followed only on the server asked, and only this many.
inline constexpr int kMaxPageRedirects = 10;

} // namespace kestrovan
