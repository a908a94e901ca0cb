#include "files/overwrite.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace quillon {
namespace {

constexpr std::uint64_t kDigitGroup = 1000;  // sizes group three digits at a time
constexpr char kTimeFormat[] = "%Y/%m/%d %H:%M:%S";
constexpr std::size_t kTimeTextSize = 64;  // room for any four-digit-year date

std::string_view FileNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::uint8_t AttributesOf(std::string_view path, const struct stat& info) {
    std::uint8_t attributes = 0;
    if ((info.st_mode & S_IWUSR) == 0) {
        attributes |= file_attr::kReadOnly;
    }
    if (FileNameOf(path).starts_with('.')) {
        attributes |= file_attr::kHidden;
    }
    if (S_ISDIR(info.st_mode)) {
        attributes |= file_attr::kDirectory;
    }
    return attributes;
}

std::time_t CreationTime(const std::string& path, const struct stat& info) {
    struct statx extended {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME) != 0) {
        return static_cast<std::time_t>(extended.stx_btime.tv_sec);
    }
    return info.st_ctime;
}

std::string AddTrailingSlash(std::string_view folder) {
    std::string text(folder);
    if (!text.ends_with('/')) {
        text += '/';
    }
    return text;
}

bool ClearReadOnly(const std::string& path, std::string& reason) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return true;  // gone already: nothing to make writable
    }
    if ((info.st_mode & S_IWUSR) != 0) {
        return true;
    }
    if (chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::optional<FileStatus> QueryFileStatus(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    FileStatus status;
    status.created = CreationTime(path, info);
    status.modified = info.st_mtime;
    status.accessed = info.st_atime;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.attributes = AttributesOf(path, info);
    return status;
}

bool IsUnsuitableTarget(std::string_view fileName, std::uint8_t attributes) {
    constexpr std::uint8_t kNeverOverwritten =
        file_attr::kSystem | file_attr::kVolumeLabel | file_attr::kDirectory;
    return (attributes & kNeverOverwritten) != 0 || fileName.find_last_of('.') == 0;
}

std::optional<OverwriteInfo> Fill(std::string_view fileName, std::string_view folder,
                                  const FileStatus& status) {
    if (IsUnsuitableTarget(fileName, status.attributes)) {
        return std::nullopt;
    }
    OverwriteInfo info;
    info.m_strName = fileName;
    info.m_strFolder = AddTrailingSlash(folder);
    const std::size_t dot = fileName.find_last_of('.');
    info.m_strBase = fileName.substr(0, dot);
    info.m_strExt = dot == std::string_view::npos ? "" : fileName.substr(dot + 1);
    info.m_strFullPath = info.m_strFolder + info.m_strName;
    info.m_strCreated = LocalTimeText(status.created);
    info.m_strModified = LocalTimeText(status.modified);
    info.m_strAccessed = LocalTimeText(status.accessed);
    info.m_strAttrib = AttributeText(status.attributes);
    info.m_strSize = SizeText(status.size);
    info.m_nAttr = status.attributes;
    return info;
}

std::string LocalTimeText(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
    char text[kTimeTextSize];
    const std::size_t length = std::strftime(text, sizeof text, kTimeFormat, &local);
    return std::string(text, length);
}

std::string AttributeText(std::uint8_t attributes) {
    if (attributes == 0) {
        return "Normal";
    }
    std::string text;
    if ((attributes & file_attr::kReadOnly) != 0) {
        text += "ReadOnly  ";
    }
    if ((attributes & file_attr::kHidden) != 0) {
        text += "Hidden  ";
    }
    if ((attributes & file_attr::kArchive) != 0) {
        text += "Archive  ";
    }
    return text;
}

std::string SizeText(std::uint64_t size) {
    std::vector<unsigned> groups;  // three-digit groups, lowest first
    do {
        groups.push_back(static_cast<unsigned>(size % kDigitGroup));
        size /= kDigitGroup;
    } while (size > 0);
    std::string text = std::to_string(groups.back());
    for (auto group = groups.rbegin() + 1; group != groups.rend(); ++group) {
        char padded[8];  // ",ddd" and the terminator
        std::snprintf(padded, sizeof padded, ",%03u", *group);
        text += padded;
    }
    return text + " バイト";
}

std::string BackupName(std::string_view folder, std::string_view base, std::string_view ext,
                       BackupChoice choice) {
    const std::string_view tail = ext.empty() ? ext : ext.substr(1);
    std::string name = AddTrailingSlash(folder);
    name += base;
    switch (choice) {
        case BackupChoice::Bak:
            name += ".bak";
            break;
        case BackupChoice::Dollar:
            name += ".$";
            name += tail;
            break;
        case BackupChoice::Hash:
            name += ".#";
            name += tail;
            break;
    }
    return name;
}

FileActionResult PrepareOverwrite(const OverwriteInfo& info) {
    FileActionResult result;
    if ((info.m_nAttr & (file_attr::kReadOnly | file_attr::kHidden)) != 0 &&
        !ClearReadOnly(info.m_strFullPath, result.reason)) {
        result.status = FileActionStatus::Failed;
    }
    return result;
}

bool BackupNameIsUnsuitable(const OverwriteInfo& info, BackupChoice choice) {
    const std::string backup = BackupName(info.m_strFolder, info.m_strBase, info.m_strExt, choice);
    const std::optional<FileStatus> existing = QueryFileStatus(backup);
    return existing && IsUnsuitableTarget("", existing->attributes);
}

FileActionResult MakeBackup(const OverwriteInfo& info, BackupChoice choice) {
    FileActionResult result;
    const std::string backup = BackupName(info.m_strFolder, info.m_strBase, info.m_strExt, choice);
    if (BackupNameIsUnsuitable(info, choice)) {
        result.status = FileActionStatus::Unsuitable;
        return result;
    }
    // rename() replaces an older backup in one step, whatever its
    // permissions, so there is no moment without either file.
    if (std::rename(info.m_strFullPath.c_str(), backup.c_str()) != 0) {
        result.status = FileActionStatus::Failed;
        result.reason = std::strerror(errno);
    }
    return result;
}

BeforeReplace BackupWhenReplacing(OverwriteInfo info, BackupChoice choice) {
    return [info = std::move(info), choice](std::string& reason) {
        const FileActionResult backup = MakeBackup(info, choice);
        if (backup.status == FileActionStatus::Unsuitable) {
            reason = BackupName(info.m_strFolder, info.m_strBase, info.m_strExt, choice) + ": " +
                     std::string(kUnsuitableTargetMessage);
        } else if (backup.status == FileActionStatus::Failed) {
            reason = "no backup made: " + backup.reason;
        }
        return backup.status == FileActionStatus::Done;
    };
}

}  // namespace quillon
