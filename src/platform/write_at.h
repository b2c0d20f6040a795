// Writing all of a buffer at a file offset, retrying short and interrupted
// writes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace tw::platform {

// Writes all `size` bytes at `offset` of `fd`; false when the file takes
// fewer (a full disk, an error). Any thread but the audio thread.
bool write_all_at(int fd, off_t offset, const std::uint8_t* data, std::size_t size);

}  // namespace tw::platform
