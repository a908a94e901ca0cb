// Reading a whole file (or standard input) into memory, with the system's
// reason when it cannot be read.
#pragma once

#include <string>

namespace quillon {

struct FileReadResult {
    bool ok = false;
    std::string bytes;
    std::string reason;  // the system's reason when not ok
};

// Reads every byte of path; "-" reads standard input when allowStdin is set.
// A directory is refused with its own reason.
FileReadResult ReadFileBytes(const std::string& path, bool allowStdin = false);

}  // namespace quillon
