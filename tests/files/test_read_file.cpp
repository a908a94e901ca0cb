// Reading a whole file: every byte, in order, whether a large file is read
// in pieces on the point team or in one pass; refusals keep their reason.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "files/read_file.h"
#include "records/point_team.h"

namespace quillon {
namespace {

std::filesystem::path TempPath(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("quillon-read-" + std::to_string(getpid()) + "-" + name);
}

TEST(ReadFileBytes, EveryByteInOrderWithOrWithoutTheTeam) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    std::mt19937 random(3);
    for (const std::size_t size : {std::size_t{100}, 4 * kMiB, 5 * kMiB + 12345}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        const std::filesystem::path path = TempPath(std::to_string(size));
        std::ofstream(path, std::ios::binary) << bytes;
        for (const unsigned threads : {1U, 3U}) {
            const PointTeamScope team(threads);
            const FileReadResult read = ReadFileBytes(path.string());
            EXPECT_TRUE(read.ok) << size << " bytes, " << threads << " threads";
            EXPECT_TRUE(read.bytes == bytes) << size << " bytes, " << threads << " threads";
        }
        std::filesystem::remove(path);
    }
}

TEST(ReadFileBytes, MissingFileAndDirectoryGiveTheSystemsReason) {
    const FileReadResult missing = ReadFileBytes(TempPath("missing").string());
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, "No such file or directory");
    const FileReadResult directory = ReadFileBytes(std::filesystem::temp_directory_path().string());
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.reason, "Is a directory");
}

}  // namespace
}  // namespace quillon
