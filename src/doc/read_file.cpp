#include "doc/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillon {

FileReadResult ReadFileBytes(const std::string& path, bool allowStdin) {
    FileReadResult result;
    const bool isStdin = allowStdin && path == "-";
    const int fd = isStdin ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.reason = std::strerror(errno);
        return result;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        result.reason = std::strerror(EISDIR);
    } else {
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) {
                result.bytes.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                result.ok = true;
                break;
            } else if (errno != EINTR) {
                result.reason = std::strerror(errno);
                break;
            }
        }
    }
    if (!isStdin) {
        close(fd);
    }
    return result;
}

}  // namespace quillon
