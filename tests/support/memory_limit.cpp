#include "tests/support/memory_limit.h"

#include <fstream>
#include <unistd.h>

namespace testsupport {

AddressSpaceLimit::AddressSpaceLimit(size_t headroom) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    if (pages <= 0 || getrlimit(RLIMIT_AS, &saved_) != 0) return;
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                     static_cast<rlim_t>(headroom);
    ok_ = setrlimit(RLIMIT_AS, &tight) == 0;
}

AddressSpaceLimit::~AddressSpaceLimit() {
    if (ok_) setrlimit(RLIMIT_AS, &saved_);
}

} // namespace testsupport
