#include "platform/ProcessResources.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrovan {
namespace {

// Descriptors kept beside those already open: libcurl's own (its wake-up pair, a resolver's
// pair per name being looked up) and a file being written.
constexpr rlim_t kReservedDescriptors = 16;

// The descriptors open now (the streams, Qt's, the libraries'); 64 when they cannot be counted.
rlim_t OpenDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (!folder) {
        return 64;
    }
    rlim_t count = 0;
    while (const dirent* entry = readdir(folder)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(folder);
    return count;
}

} // namespace

void LowerThisThreadPriority() {
    // On Linux a thread has a nice value of its own, set through its thread id.
    constexpr int kLowestPriority = 19;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kLowestPriority);
}

std::size_t RaiseConnectionLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1000;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return 1'000'000;
    }
    const rlim_t kept = OpenDescriptors() + kReservedDescriptors;
    return limit.rlim_cur > kept ? static_cast<std::size_t>(limit.rlim_cur - kept) : 1;
}

} // namespace kestrovan
