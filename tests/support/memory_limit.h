// A limit on the test program's address space, for the paths a failed allocation takes.
#pragma once

#include <cstddef>
#include <memory>

namespace testsupport {

// True in a build with the address sanitizer, which reserves address space beyond any limit.
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// Whether this system can limit a program's address space (POSIX: RLIMIT_AS; Windows cannot).
constexpr bool kAddressSpaceLimits =
#if defined(_WIN32)
    false;
#else
    true;
#endif

// While it lives, the program may map `headroom` bytes more than it has mapped now.
class AddressSpaceLimit {
  public:
    explicit AddressSpaceLimit(size_t headroom);
    ~AddressSpaceLimit();
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool ok() const { return ok_; }

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
    bool ok_ = false;
};

} // namespace testsupport
