#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "files/overwrite.h"
#include "files_test_support.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(OverwriteSizeText, GroupsThreeDigitsWithPadding) {
    EXPECT_EQ(SizeText(0), "0 バイト");
    EXPECT_EQ(SizeText(999), "999 バイト");
    EXPECT_EQ(SizeText(1000), "1,000 バイト");
    EXPECT_EQ(SizeText(1005), "1,005 バイト");
    EXPECT_EQ(SizeText(1000000), "1,000,000 バイト");
    EXPECT_EQ(SizeText(4294967295u), "4,294,967,295 バイト");
    // Past 32 bits the size is shown as it is, not wrapped around.
    EXPECT_EQ(SizeText(4294967296u), "4,294,967,296 バイト");
}

TEST(OverwriteAttributeText, NamesTheBitsInOrder) {
    EXPECT_EQ(AttributeText(0), "Normal");
    EXPECT_EQ(AttributeText(file_attr::kArchive | file_attr::kReadOnly), "ReadOnly  Archive  ");
    EXPECT_EQ(AttributeText(file_attr::kHidden), "Hidden  ");
    EXPECT_EQ(AttributeText(file_attr::kSystem), "");  // other bits add nothing
}

TEST(OverwriteTimeText, LocalTimeInFixedForm) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(LocalTimeText(0), "1970/01/01 00:00:00");
    EXPECT_EQ(LocalTimeText(1700000000), "2023/11/14 22:13:20");
}

TEST(OverwriteFill, SplitsNameAtTheLastDot) {
    const FileStatus status{};
    const auto info = Fill("data.v2.txt", "/home/u", status);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->m_strFolder, "/home/u/");
    EXPECT_EQ(info->m_strBase, "data.v2");
    EXPECT_EQ(info->m_strExt, "txt");
    EXPECT_EQ(info->m_strFullPath, "/home/u/data.v2.txt");
    const auto bare = Fill("README", "/x/", status);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->m_strBase, "README");
    EXPECT_EQ(bare->m_strExt, "");
}

TEST(OverwriteFill, RefusesDirectoriesAndDotOnlyNames) {
    FileStatus status{};
    EXPECT_FALSE(Fill(".dat", "/x", status));
    EXPECT_TRUE(Fill(".my.dat", "/x", status));  // the last dot is not the first character
    status.attributes = file_attr::kDirectory;
    EXPECT_FALSE(Fill("data.txt", "/x", status));
    status.attributes = file_attr::kSystem;
    EXPECT_FALSE(Fill("data.txt", "/x", status));
}

TEST(OverwriteStatus, MapsLinuxFileToAttributes) {
    TempFolder folder;
    WriteBytes(folder.Path("plain.txt"), "12345");
    WriteBytes(folder.Path(".hidden"), "");
    const auto plain = QueryFileStatus(folder.Path("plain.txt"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->size, 5u);
    EXPECT_EQ(plain->attributes, 0);
    chmod(folder.Path("plain.txt").c_str(), 0444);
    EXPECT_EQ(QueryFileStatus(folder.Path("plain.txt"))->attributes, file_attr::kReadOnly);
    EXPECT_EQ(QueryFileStatus(folder.Path(".hidden"))->attributes, file_attr::kHidden);
    EXPECT_EQ(QueryFileStatus(folder.Folder())->attributes & file_attr::kDirectory,
              file_attr::kDirectory);
    EXPECT_FALSE(QueryFileStatus(folder.Path("missing")));
}

TEST(BackupNames, FollowTheChoice) {
    EXPECT_EQ(BackupName("/d", "data", "txt", BackupChoice::Bak), "/d/data.bak");
    EXPECT_EQ(BackupName("/d/", "data", "txt", BackupChoice::Dollar), "/d/data.$xt");
    EXPECT_EQ(BackupName("/d/", "data", "txt", BackupChoice::Hash), "/d/data.#xt");
    EXPECT_EQ(BackupName("/d/", "README", "", BackupChoice::Hash), "/d/README.#");
    EXPECT_EQ(BackupName("/d/", "README", "", BackupChoice::Dollar), "/d/README.$");
    EXPECT_EQ(BackupName("/d/", "a", "c", BackupChoice::Dollar), "/d/a.$");
}

OverwriteInfo InfoFor(const TempFolder& folder, const std::string& name) {
    const auto status = QueryFileStatus(folder.Path(name));
    EXPECT_TRUE(status);
    return *Fill(name, folder.Folder(), *status);
}

TEST(BackupAction, SecondBackupReplacesTheFirst) {
    TempFolder folder;
    const std::string report = folder.Path("report.dat");
    WriteBytes(report, "first");
    EXPECT_EQ(MakeBackup(InfoFor(folder, "report.dat"), BackupChoice::Dollar).status,
              FileActionStatus::Done);
    WriteBytes(report, "second");
    chmod(folder.Path("report.$at").c_str(), 0444);  // an old read-only backup
    EXPECT_EQ(MakeBackup(InfoFor(folder, "report.dat"), BackupChoice::Dollar).status,
              FileActionStatus::Done);
    EXPECT_EQ(ReadBytes(folder.Path("report.$at")), "second");
    EXPECT_EQ(folder.Listing(), "report.$at ");
}

TEST(BackupAction, DirectoryAtTheBackupNameIsUnsuitable) {
    TempFolder folder;
    WriteBytes(folder.Path("data.txt"), "keep");
    std::filesystem::create_directory(folder.Path("data.bak"));
    EXPECT_EQ(MakeBackup(InfoFor(folder, "data.txt"), BackupChoice::Bak).status,
              FileActionStatus::Unsuitable);
    EXPECT_EQ(ReadBytes(folder.Path("data.txt")), "keep");
}

TEST(BackupAction, FailedMoveIsReported) {
    TempFolder folder;
    WriteBytes(folder.Path("data.txt"), "keep");
    OverwriteInfo info = InfoFor(folder, "data.txt");
    info.m_strFullPath = folder.Path("gone.txt");  // the file vanished meanwhile
    const FileActionResult result = MakeBackup(info, BackupChoice::Bak);
    EXPECT_EQ(result.status, FileActionStatus::Failed);
    EXPECT_FALSE(result.reason.empty());
}

TEST(OverwriteAction, ReadOnlyFileIsMadeWritable) {
    TempFolder folder;
    const std::string path = folder.Path("locked.txt");
    WriteBytes(path, "x");
    chmod(path.c_str(), 0444);
    EXPECT_EQ(PrepareOverwrite(InfoFor(folder, "locked.txt")).status, FileActionStatus::Done);
    EXPECT_EQ(QueryFileStatus(path)->attributes, 0);
}

}  // namespace
}  // namespace quillon
