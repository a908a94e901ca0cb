// Writing a whole file so that a failure never harms the file it replaces:
// the bytes go to a temporary file in the same folder, which is flushed to
// the disk and renamed over the target only when everything was written.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace quillon {

// The system calls the writer makes; tests replace them to make a write or
// a flush fail the way a full disk does, which works for any user.
struct FileSystemCalls {
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
};

// The real system calls.
FileSystemCalls SystemFileCalls();

struct FileWriteResult {
    bool ok = false;
    bool opened = false;  // the temporary file could be created
    std::string reason;   // the system's reason for a failure
};

// Runs after the temporary file holds all bytes and before it replaces the
// target; returning false (with a reason) abandons the save.
using BeforeReplace = std::function<bool(std::string& reason)>;

// Writes bytes to path as described above. A symbolic link at path is
// followed, so the file it points to is replaced, not the link. An existing
// target's permission bits carry over to the new file. On failure the
// temporary file is removed and the target is left as it was. A device or
// pipe at path is written into directly (there is nothing to replace).
FileWriteResult SaveFileAtomically(const std::string& path, std::string_view bytes,
                                   const BeforeReplace& beforeReplace = {},
                                   const FileSystemCalls& calls = SystemFileCalls());

}  // namespace quillon
