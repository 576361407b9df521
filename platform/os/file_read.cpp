#include "platform/os/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace plat {
namespace {

std::string SizeText(size_t bytes) {
    if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

bool ReadWholeFile(const std::string& path, size_t max_bytes, std::string* bytes, std::string* error) {
    bytes->clear();
    // O_NONBLOCK: opening a FIFO with no writer must not hang before the
    // check below refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = std::strerror(errno);
        close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
        close(fd);
        return false;
    }
    const std::string too_large = "larger than " + SizeText(max_bytes) + ", the most this tool reads";
    if (static_cast<uint64_t>(st.st_size) > max_bytes) {
        *error = too_large;
        close(fd);
        return false;
    }
    // The size stat gives is only a hint (files in /proc say 0): read to the
    // end, one byte past the limit at most, to know whether it was passed.
    bytes->resize(static_cast<size_t>(st.st_size) + 1);
    size_t have = 0;
    for (;;) {
        if (have == bytes->size()) {
            if (have > max_bytes) break;
            bytes->resize(std::min(max_bytes + 1, std::max<size_t>(bytes->size() * 2, 4096)));
        }
        const ssize_t n = read(fd, bytes->data() + have, bytes->size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = std::strerror(errno);
            close(fd);
            bytes->clear();
            return false;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    close(fd);
    if (have > max_bytes) {
        *error = too_large;
        bytes->clear();
        return false;
    }
    bytes->resize(have);
    return true;
}

}  // namespace plat
