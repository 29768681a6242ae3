#pragma once

#include "error.h"
#include "platform/directory.h"

#include <cstddef>
#include <string>

namespace tarnvex {

/// All of the file open at `fd`, from where it stands, where it holds at most `limit` bytes more;
/// more fails with `FileTooBig`. For files whose size the system does not tell, such as Linux's
/// /proc files.
Result<std::string> readAtMost(int fd, std::size_t limit);

/// The whole of the regular file `name` in `directory`, read only where it holds at most `limit`
/// bytes: a larger one fails with `FileTooBig`, anything but a regular file with `InvalidFormat`,
/// so that neither a huge file nor a pipe can hold the run up.
Result<std::string> readSmallFile(const Directory& directory, const std::string& name,
                                  std::size_t limit);

} // namespace tarnvex
