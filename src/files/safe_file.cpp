#include "files/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace quillon {
namespace {

namespace fs = std::filesystem;

constexpr int kTempNameAttempts = 100;  // tries before giving up on a free name
constexpr mode_t kNewFileMode = 0666;   // narrowed by the umask, as open() does

std::string SystemReason(int error) {
    return std::strerror(error);
}

// The file a save replaces: the target of a symbolic link, or path itself.
fs::path ResolveTarget(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return fs::path(path);
}

// Owns the temporary file until it is renamed or given up.
class TempFile {
  public:
    explicit TempFile(const fs::path& target) {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
            std::string name = ".";
            name += target.filename().string();
            name += ".tmp";
            name += std::to_string(random());
            const fs::path candidate = folder / name;
            m_fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
            if (m_fd >= 0) {
                m_path = candidate;
                return;
            }
            if (errno != EEXIST) {
                m_error = errno;
                return;
            }
        }
        m_error = EEXIST;
    }
    ~TempFile() {
        Close();
        if (!m_path.empty()) {
            unlink(m_path.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int Fd() const { return m_fd; }
    int Error() const { return m_error; }
    const fs::path& Path() const { return m_path; }
    int Close() {
        if (m_fd < 0) {
            return 0;
        }
        const int result = close(m_fd);
        m_fd = -1;
        return result;
    }
    // The file now has the target's name; nothing is left to remove.
    void Release() { m_path.clear(); }

  private:
    int m_fd = -1;
    int m_error = 0;
    fs::path m_path;
};

bool WriteAll(int fd, std::string_view bytes, const FileSystemCalls& calls, std::string& reason) {
    while (!bytes.empty()) {
        const ssize_t written = calls.write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = SystemReason(errno);
            return false;
        }
        if (written == 0) {
            reason = SystemReason(ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The new file keeps the mode and, where allowed, the owner of the old one.
void CopyPermissions(const fs::path& target, int fd) {
    struct stat info {};
    if (stat(target.c_str(), &info) != 0) {
        return;
    }
    fchmod(fd, info.st_mode & 07777);
    if (fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Only the owner or root may give the file away; keeping ours is fine.
    }
}

// Makes the rename itself durable; a failure here loses nothing already
// written, so it is not reported.
void SyncFolder(const fs::path& target) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// A device, pipe or socket is written into where it is: replacing it with a
// regular file would break it (a root user's -o /dev/null), and it holds no
// contents a failed write could destroy.
bool IsSpecialFile(const fs::path& target) {
    struct stat info {};
    return stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

FileWriteResult WriteInPlace(const fs::path& target, std::string_view bytes,
                             const BeforeReplace& beforeReplace, const FileSystemCalls& calls) {
    FileWriteResult result;
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        result.reason = SystemReason(errno);
        return result;
    }
    result.opened = true;
    bool ok = (!beforeReplace || beforeReplace(result.reason)) &&
              WriteAll(fd, bytes, calls, result.reason);
    // Devices and pipes that cannot be flushed say so with EINVAL; that is
    // no failure of the write.
    if (ok && calls.fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        result.reason = SystemReason(errno);
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        result.reason = SystemReason(errno);
        ok = false;
    }
    result.ok = ok;
    return result;
}

}  // namespace

FileSystemCalls SystemFileCalls() {
    return FileSystemCalls{&::write, &::fsync};
}

FileWriteResult SaveFileAtomically(const std::string& path, std::string_view bytes,
                                   const BeforeReplace& beforeReplace,
                                   const FileSystemCalls& calls) {
    FileWriteResult result;
    const fs::path target = ResolveTarget(path);
    if (IsSpecialFile(target)) {
        return WriteInPlace(target, bytes, beforeReplace, calls);
    }
    TempFile temp(target);
    if (temp.Fd() < 0) {
        result.reason = SystemReason(temp.Error());
        return result;
    }
    result.opened = true;
    CopyPermissions(target, temp.Fd());
    if (!WriteAll(temp.Fd(), bytes, calls, result.reason)) {
        return result;
    }
    if (calls.fsync(temp.Fd()) != 0 || temp.Close() != 0) {
        result.reason = SystemReason(errno);
        return result;
    }
    if (beforeReplace && !beforeReplace(result.reason)) {
        return result;
    }
    if (rename(temp.Path().c_str(), target.c_str()) != 0) {
        result.reason = SystemReason(errno);
        return result;
    }
    temp.Release();
    SyncFolder(target);
    result.ok = true;
    return result;
}

}  // namespace quillon
