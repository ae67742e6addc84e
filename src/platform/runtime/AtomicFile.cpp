#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace beamlink {

namespace {

[[noreturn]] void fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

void closeChecked(int fd, const std::string& what) {
    // Linux releases the descriptor even when close() reports an error, so never retry it.
    if (::close(fd) != 0) {
        fail(errno, "close " + what);
    }
}

// Owns the temporary file until it has been renamed into place.
class TempFile {
public:
    TempFile(const std::string& directory, const std::string& base, mode_t mode) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = directory + "/." + base + ".tmp-" + std::to_string(::getpid()) +
                                    "-" + std::to_string(counter.fetch_add(1));
            fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                path_ = std::move(candidate);
                return;
            }
            if (errno != EEXIST) {
                fail(errno, "create " + candidate);
            }
        }
        fail(EEXIST, "create a temporary file in " + directory);
    }
    ~TempFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!renamed_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void closeFile() {
        int fd = fd_;
        fd_ = -1;
        closeChecked(fd, path_);
    }
    void markRenamed() { renamed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool renamed_ = false;
};

void writeAll(int fd, const std::string& contents, const std::string& what) {
    std::size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno, "write " + what);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Writing through a link keeps the user's link instead of replacing it with a plain file.
std::string resolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

// Makes the rename itself survive a crash. Best effort: by now the new contents are in place,
// so a failure here must not report the store as failed.
void syncDirectory(const std::string& directory) noexcept {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool readFileIfExists(const std::string& path, std::string& contents) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return false;
        }
        fail(errno, "open " + path);
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            int error = errno;
            ::close(fd);
            fail(error, "read " + path);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    contents = std::move(text);
    return true;
}

void replaceFile(const std::string& path, const std::string& contents) {
    const std::string target = resolveLink(path);
    const auto slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    // A replaced file keeps its permissions; a new one gets the usual 0666 less umask.
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;

    TempFile temp(directory, base, mode);
    if (exists && ::fchmod(temp.fd(), mode) != 0) {
        fail(errno, "chmod " + temp.path());
    }
    writeAll(temp.fd(), contents, temp.path());
    if (::fsync(temp.fd()) != 0) {
        fail(errno, "fsync " + temp.path());
    }
    temp.closeFile();
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        fail(errno, "rename " + temp.path() + " to " + target);
    }
    temp.markRenamed();
    syncDirectory(directory);
}

}  // namespace beamlink
