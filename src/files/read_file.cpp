#include "files/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "records/point_team.h"

namespace quillon {
namespace {

// A large buffer's pages are mapped in one go instead of one fault per
// page on first write.
void PrefaultLargeBuffer(char* data, std::size_t size) {
    constexpr std::size_t kWorthIt = std::size_t{1} << 20;
    if (size >= kWorthIt) {
        PrefaultForWriting(data, size);
    }
}

// Reads the first size bytes of a regular file into bytes in pieces at
// their offsets on the point team; false, with bytes empty, when a piece
// cannot be read whole (the file shrank, or a read failed), so the caller
// reads it again from the start.
bool ReadPiecesOnTeam(int fd, std::size_t size, std::string& bytes) {
    constexpr std::size_t kPiece = std::size_t{1} << 21;
    bytes.resize(size);
    std::atomic<bool> whole{true};
    ForPointBlocks((size + kPiece - 1) / kPiece, 1, 2, [&](std::size_t first, std::size_t last) {
        std::size_t at = first * kPiece;
        const std::size_t end = std::min(size, last * kPiece);
        while (at < end && whole.load(std::memory_order_relaxed)) {
            const ssize_t got = pread(fd, bytes.data() + at, end - at, static_cast<off_t>(at));
            if (got > 0) {
                at += static_cast<std::size_t>(got);
            } else if (got == 0 || errno != EINTR) {
                whole.store(false);
            }
        }
    });
    if (!whole.load()) {
        bytes.clear();
    }
    return whole.load();
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
            const auto size = static_cast<std::size_t>(info.st_size);
            result.bytes.reserve(size);
            PrefaultLargeBuffer(result.bytes.data(), result.bytes.capacity());
            // A large file is read on the point team, when one is lent; the
            // loop below reads what follows (a file that grew meanwhile).
            constexpr std::size_t kReadOnTeamFrom = std::size_t{4} << 20;
            // Standard input is left to the loop: it may not start at
            // offset 0.
            if (!isStdin && size >= kReadOnTeamFrom && PointTeamThreads() > 1 &&
                ReadPiecesOnTeam(fd, size, result.bytes)) {
                lseek(fd, info.st_size, SEEK_SET);
            }
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
