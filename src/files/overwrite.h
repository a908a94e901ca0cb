// Before a file is overwritten: the facts the overwrite confirmation shows
// (folder, name, size, times, attributes), the backup name rule and the two
// actions the confirmation ends with, overwrite and backup.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "files/safe_file.h"

namespace quillon {

// The attribute bits of a file. On Linux read-only means no write permission
// for the owner, hidden a name beginning with "."; system and volume label
// are never set.
namespace file_attr {
inline constexpr std::uint8_t kReadOnly = 0x01;
inline constexpr std::uint8_t kHidden = 0x02;
inline constexpr std::uint8_t kSystem = 0x04;
inline constexpr std::uint8_t kVolumeLabel = 0x08;
inline constexpr std::uint8_t kDirectory = 0x10;
inline constexpr std::uint8_t kArchive = 0x20;
}  // namespace file_attr

struct FileStatus {
    std::time_t created = 0;  // birth time where the file system keeps it, else change time
    std::time_t modified = 0;
    std::time_t accessed = 0;
    std::uint64_t size = 0;
    std::uint8_t attributes = 0;
};

// The status of an existing file (a symbolic link is followed), or nothing
// when there is none.
std::optional<FileStatus> QueryFileStatus(const std::string& path);

inline constexpr std::string_view kUnsuitableTargetMessage = "ファイルの選択が不適切です";

enum class BackupChoice { Bak = 0, Dollar = 1, Hash = 2 };

// What the confirmation shows and works with.
struct OverwriteInfo {
    std::string m_strName;      // file name with extension
    std::string m_strFolder;    // folder with a trailing "/"
    std::string m_strBase;      // name before its last dot
    std::string m_strExt;       // after the last dot, without it
    std::string m_strFullPath;  // folder and name
    std::string m_strCreated;
    std::string m_strModified;
    std::string m_strAccessed;
    std::string m_strAttrib;
    std::string m_strSize;
    std::uint8_t m_nAttr = 0;
};

// A name or attributes that must never be overwritten: system, volume label,
// directory, or a name whose last dot is its first character.
bool IsUnsuitableTarget(std::string_view fileName, std::uint8_t attributes);

// Prepares the confirmation for an existing file; nothing when the target is
// unsuitable (the caller then shows kUnsuitableTargetMessage and writes
// nothing).
std::optional<OverwriteInfo> Fill(std::string_view fileName, std::string_view folder,
                                  const FileStatus& status);

// "%Y/%m/%d %H:%M:%S" in local time.
std::string LocalTimeText(std::time_t time);
// "Normal", or "ReadOnly  ", "Hidden  ", "Archive  " in that order.
std::string AttributeText(std::uint8_t attributes);
// "999 バイト", "1,000 バイト", "4,294,967,295 バイト".
std::string SizeText(std::uint64_t size);

// folder + base + ".bak", ".$" or ".#" followed by the extension without its
// first letter (data.txt: data.bak, data.$xt, data.#xt; README: README.#).
std::string BackupName(std::string_view folder, std::string_view base, std::string_view ext,
                       BackupChoice choice);

enum class FileActionStatus { Done, Unsuitable, Failed };

struct FileActionResult {
    FileActionStatus status = FileActionStatus::Done;
    std::string reason;  // the system's reason for a failure
};

// "上書き": makes a read-only or hidden file writable before it is replaced.
FileActionResult PrepareOverwrite(const OverwriteInfo& info);

// A directory (or system file) holds the backup name.
bool BackupNameIsUnsuitable(const OverwriteInfo& info, BackupChoice choice);

// The backup button: moves the existing file to its backup name. A backup
// name held by a directory (or system file) is unsuitable; an older backup
// there is replaced. Unlike a silent failure, a failed move is reported, so
// the caller does not overwrite a file the user asked to keep.
FileActionResult MakeBackup(const OverwriteInfo& info, BackupChoice choice);

// The backup as the last step of a save: it runs once the new file is
// complete, just before it takes the old one's name, so a save that fails
// earlier leaves the old file where it was. A failure abandons the save with
// the backup's name or the system's reason.
BeforeReplace BackupWhenReplacing(OverwriteInfo info, BackupChoice choice);

}  // namespace quillon
