// The result file options of the command line: -o with its formats, the
// refusal of an existing file, overwrite and backup, and failed writes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
using testing::WriteFile;
namespace fs = std::filesystem;

const std::string kProgram = QUILLON_PROGRAM;
const std::string kSample = "// test\n0,\t1\n1,\t3\n2,\t5\n";

class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quillon-cli-files-XXXXXX";
        m_folder = mkdtemp(name);
        m_data = Path("d.txt");
        WriteFile(m_data, kSample);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string Path(const std::string& name) const { return m_folder + "/" + name; }
    ProgramResult Quillon(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--color", "never"});
        args.push_back(m_data);
        return RunProgram(kProgram, args);
    }

    std::string m_folder;
    std::string m_data;
};

TEST_F(CliFiles, OutputWritesZentographDataAndReportsTheCount) {
    const std::string out = Path("r.dat");
    const ProgramResult result = Quillon({"-o", out, "--contents", "params", "--no-param-table"});
    EXPECT_EQ(result.status, 0) << result.err;
    // a, b, chi-square per degree of freedom, n - 1 and n of the exact line.
    EXPECT_EQ(ReadFile(out),
              "*Model F:  a + b*X; linear\r\n<Param_1>[0]=1\r\n<Param_1>[1]=2\r\n"
              "<Param_1>[2]=0\r\n<Param_1>[3]=2\r\n<Param_1>[4]=3\r\n");
    EXPECT_EQ(result.err, "quillon: 計算結果書き込み正常終了\n6 lines in\n" + out + "\n");
}

TEST_F(CliFiles, CsvTableWithCurveSampling) {
    const std::string out = Path("t.csv");
    const ProgramResult result =
        Quillon({"-o", out, "--separator", "serial", "--no-comment", "--contents", "curve",
                 "--no-param-table", "--divisions", "2"});
    EXPECT_EQ(result.status, 0) << result.err;
    // .csv forces the comma whatever separator was asked for.
    EXPECT_EQ(ReadFile(out), "x_1,y_1\r\n0,1\r\n1,3\r\n2,5\r\n");
}

TEST_F(CliFiles, ExistingTargetIsRefusedUntouched) {
    const std::string out = Path("r.dat");
    WriteFile(out, "keep me");
    const ProgramResult result = Quillon({"-o", out});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--overwrite"), std::string::npos);
    EXPECT_EQ(result.out, "");  // refused before any compute
    EXPECT_EQ(ReadFile(out), "keep me");
}

TEST_F(CliFiles, BackupKeepsTheOldFileUnderItsBackupName) {
    const std::string out = Path("r.dat");
    WriteFile(out, "old");
    EXPECT_EQ(Quillon({"-o", out, "--backup", "dollar"}).status, 0);
    EXPECT_EQ(ReadFile(Path("r.$at")), "old");
    EXPECT_NE(ReadFile(out).find("<x_1>"), std::string::npos);
    WriteFile(out, "newer");
    EXPECT_EQ(Quillon({"-o", out, "--backup", "bak"}).status, 0);
    EXPECT_EQ(ReadFile(Path("r.bak")), "newer");
}

TEST_F(CliFiles, OverwriteMakesAReadOnlyFileWritable) {
    const std::string out = Path("r.txt");
    WriteFile(out, "old");
    chmod(out.c_str(), 0444);
    EXPECT_EQ(Quillon({"-o", out, "--overwrite"}).status, 0);
    EXPECT_NE(ReadFile(out).find("x_1\ty_1"), std::string::npos);
    EXPECT_NE(fs::status(out).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(CliFiles, DirectoryTargetIsUnsuitable) {
    const ProgramResult result = Quillon({"-o", m_folder, "--overwrite"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("ファイルの選択が不適切です"), std::string::npos);
}

// A file-size limit makes the write fail for any user, root included; the
// shell ignores the limit's signal so the write returns an error instead.
TEST_F(CliFiles, FailedWriteLeavesTheOldFileByteForByte) {
    const std::string out = Path("r.txt");
    const std::string old = "old results\r\n1\t2\r\n";
    WriteFile(out, old);
    const std::string command = "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"";
    const ProgramResult result =
        RunProgram("/bin/sh", {"-c", command, kProgram, "--color", "never", "-o", out,
                               "--overwrite", "--divisions", "5000", m_data});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("正常終了"), std::string::npos);
    EXPECT_EQ(ReadFile(out), old);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_folder)) {
        ++files;
    }
    EXPECT_EQ(files, 2);  // d.txt and r.txt: no temporary file left
}

TEST_F(CliFiles, FullDeviceIsAFailure) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const ProgramResult result = Quillon({"-o", "/dev/full", "--overwrite"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("No space left on device"), std::string::npos);
}

// A folder the user may not write into: the result file is refused with the
// system's reason, the old file and its name stay, and no backup appears.
// Root ignores folder permissions, so the program then runs without the
// capability that lets it.
TEST_F(CliFiles, ReadOnlyFolderKeepsTheOldFile) {
    const std::string out = Path("r.txt");
    WriteFile(out, "old");
    chmod(m_folder.c_str(), 0555);
    for (const std::string mode : {"--overwrite", "--backup"}) {
        std::vector<std::string> args = {kProgram, "--color", "never", "-o", out, mode};
        if (mode == "--backup") {
            args.push_back("bak");
        }
        args.push_back(m_data);
        std::string program = kProgram;
        if (geteuid() == 0) {
            if (!fs::exists("/usr/bin/setpriv")) {
                GTEST_SKIP() << "running as root without setpriv";
            }
            program = "/usr/bin/setpriv";
            args.insert(args.begin(),
                        {"--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--"});
        } else {
            args.erase(args.begin());
        }
        const ProgramResult result = RunProgram(program, args);
        EXPECT_EQ(result.status, 1) << mode << ": " << result.err;
        EXPECT_NE(result.err.find("Permission denied"), std::string::npos) << result.err;
        EXPECT_EQ(ReadFile(out), "old");
        EXPECT_FALSE(fs::exists(Path("r.bak")));
    }
    chmod(m_folder.c_str(), 0755);
}

TEST_F(CliFiles, NoColumnsWritesNothing) {
    WriteFile(m_data, "x\n");
    const std::string out = Path("r.dat");
    const ProgramResult result = Quillon({"-o", out});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("計算結果がありません！"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliFiles, UsageErrorsNameOptionAndValues) {
    ProgramResult result = Quillon({"--contents", "all"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--contents"), std::string::npos);
    EXPECT_NE(result.err.find("params"), std::string::npos);
    result = Quillon({"--divisions-spacing", "10001"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("10000"), std::string::npos);
    result = Quillon({"--overwrite"});
    EXPECT_EQ(result.status, 2);
    result = Quillon({"-o", Path("a.dat"), "--overwrite", "--backup", "bak"});
    EXPECT_EQ(result.status, 2);
}

}  // namespace
}  // namespace quillon
