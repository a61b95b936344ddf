#include "tests/support/memory_limit.h"

#if defined(_WIN32)

namespace testsupport {

struct AddressSpaceLimit::Saved {};

AddressSpaceLimit::AddressSpaceLimit(size_t) {}

AddressSpaceLimit::~AddressSpaceLimit() = default;

} // namespace testsupport

#else

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace testsupport {

struct AddressSpaceLimit::Saved {
    rlimit limit{};
};

AddressSpaceLimit::AddressSpaceLimit(size_t headroom) : saved_(std::make_unique<Saved>()) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    if (pages <= 0 || getrlimit(RLIMIT_AS, &saved_->limit) != 0) return;
    rlimit tight = saved_->limit;
    tight.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                     static_cast<rlim_t>(headroom);
    ok_ = setrlimit(RLIMIT_AS, &tight) == 0;
}

AddressSpaceLimit::~AddressSpaceLimit() {
    if (ok_) setrlimit(RLIMIT_AS, &saved_->limit);
}

} // namespace testsupport

#endif
