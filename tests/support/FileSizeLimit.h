#pragma once
// Makes every write past `bytes` fail with EFBIG for one scope. Root ignores permission bits,
// so this is how tests make a write fail part-way.

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace beamlink::testing {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (::getrlimit(RLIMIT_FSIZE, &old_) != 0) {
            throw std::runtime_error("getrlimit failed");
        }
        // Without this the kernel's SIGXFSZ ends the test process instead of failing the write.
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            throw std::runtime_error("setrlimit failed");
        }
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

}  // namespace beamlink::testing
