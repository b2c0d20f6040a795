#include "platform/write_at.h"

#include <unistd.h>

#include <cerrno>

namespace tw::platform {

bool write_all_at(int fd, off_t offset, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace tw::platform
