// platform/os/file_read.h - reads a whole file that a person named on a
// command line, within a stated size.
//
// Offers: ReadWholeFile refuses directories, devices, pipes and other files
// that are not regular files (reading /dev/zero would never end), reads at
// most `max_bytes` and refuses a file that holds more, and on failure says
// why, in the OS's words where it has them: "No such file or directory",
// "is a directory", "larger than 64 MB, the most this tool reads" (the
// caller puts the path in front).
//
// Does not: map the file, or follow it as it grows (a file that grows past
// the limit while being read is refused like one that was already larger).
#pragma once

#include <cstddef>
#include <string>

namespace plat {

bool ReadWholeFile(const std::string& path, size_t max_bytes, std::string* bytes, std::string* error);

}  // namespace plat
