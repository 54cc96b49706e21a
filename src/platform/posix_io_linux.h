// Whole reads and writes on POSIX descriptors, shared by the Linux platform sides.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// Writes every byte, retrying after interruptions; false on any error.
bool WriteAllFd(int fd, std::string_view bytes);
// Reads to the end; nullopt on an error or when there are more than max_bytes.
std::optional<std::string> ReadAllFd(int fd, size_t max_bytes);

}  // namespace fernlite
