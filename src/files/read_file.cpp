#include "files/read_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quillon {
namespace {

// Maps the pages of a large new buffer in one call instead of one fault per
// page on first write (each fault is dear on a virtual machine). Only a
// hint: where the kernel cannot, the pages fault in as usual.
void PrefaultForWriting(char* data, std::size_t size) {
    constexpr std::size_t kWorthIt = std::size_t{1} << 20;
    if (size < kWorthIt) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
    }
}

}  // namespace

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
        // A regular file's size is known: room for all of it at once spares
        // a large file its copies and page faults while the text grows.
        if (S_ISREG(info.st_mode) && info.st_size > 0) {
            result.bytes.reserve(static_cast<std::size_t>(info.st_size));
            PrefaultForWriting(result.bytes.data(), result.bytes.capacity());
        }
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
