#include <errno.h>
#include <gtest/gtest.h>

#include "files/document_text.h"
#include "files/output_settings.h"
#include "files_test_support.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(DocumentAppend, PlainPointsBecomeANewSet) {
    EXPECT_EQ(AppendDocumentText("1 2\n3 4\n", "5 6\n"), "1 2\n3 4\n//\n5 6\n");
    EXPECT_EQ(AppendDocumentText("1 2", "5 6"), "1 2\n//\n5 6");  // a line feed is added
}

TEST(DocumentAppend, MemoLineIsKeptAsTheSeparator) {
    EXPECT_EQ(AppendDocumentText("1 2\n", "// run 2\n5 6\n"), "1 2\n// run 2\n5 6\n");
    EXPECT_EQ(AppendDocumentText("1 2\n", "/ 5 6\n"), "1 2\n//\n/ 5 6\n");  // one slash only
}

TEST(DocumentAppend, EmptyFileLeavesTheTextAlone) {
    EXPECT_EQ(AppendDocumentText("1 2", ""), "1 2");
}

TEST(DocumentLoad, RemembersEncodingAndDropsCtrlZ) {
    const DocumentText sjis = LoadDocumentText("// \x8e\x8e\x97\xbf\r\n1 2\r\n\x1a");
    EXPECT_EQ(sjis.encoding, TextEncoding::ShiftJis);
    EXPECT_EQ(sjis.text, "// 試料\r\n1 2\r\n");
    const DocumentText utf8 = LoadDocumentText("1 2\n");
    EXPECT_EQ(utf8.encoding, TextEncoding::Utf8);
    EXPECT_TRUE(LoadDocumentText(std::string("a\0b", 3)).binary);
}

TEST(DocumentSave, LinesGetCrLfAndTrailingEmptyLineIsDropped) {
    EXPECT_EQ(DocumentFileBytes("1 2\n3 4\n", TextEncoding::Utf8).bytes, "1 2\r\n3 4\r\n");
    EXPECT_EQ(DocumentFileBytes("1 2\r3 4", TextEncoding::Utf8).bytes, "1 2\r\n3 4\r\n");
    EXPECT_EQ(DocumentFileBytes("", TextEncoding::Utf8).bytes, "");
    EXPECT_EQ(DocumentFileBytes("a\n\n", TextEncoding::Utf8).bytes, "a\r\n\r\n");
}

TEST(DocumentSave, ShiftJisDocumentRoundTripsByteForByte) {
    // Kanji, half-width katakana, a CP932-only circled digit, CR LF ends.
    const std::string original = "// \x8e\x8e\x97\xbf \xb1 \x87\x40\r\n0,\t1\r\n1,\t3\r\n";
    TempFolder folder;
    const std::string path = folder.Path("sample.bol");
    const DocumentText loaded = LoadDocumentText(original);
    ASSERT_EQ(loaded.encoding, TextEncoding::ShiftJis);
    const SaveTextOutcome saved = SaveText(path, loaded.text, loaded.encoding);
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_EQ(ReadBytes(path), original);
}

TEST(DocumentSave, Utf16DocumentRoundTripsByteForByte) {
    // "// 試料\r\n1\t2\r\n" as UTF-16LE behind its mark, and the same big-endian.
    using namespace std::string_literals;
    const std::string little =
        "\xFF\xFE/\0/\0 \0\x66\x8a\x99\x65\r\0\n\0"s + "1\0\t\0"s + "2\0\r\0\n\0"s;
    std::string big = "\xFE\xFF";
    for (std::size_t i = 2; i < little.size(); i += 2) {
        big += little[i + 1];
        big += little[i];
    }
    for (const std::string& original : {little, big}) {
        TempFolder folder;
        const std::string path = folder.Path("unicode.txt");
        const DocumentText loaded = LoadDocumentText(original);
        EXPECT_EQ(loaded.text, "// 試料\r\n1\t2\r\n");
        const SaveTextOutcome saved = SaveText(path, loaded.text, loaded.encoding, loaded.hadBom);
        ASSERT_TRUE(saved.ok) << saved.message;
        EXPECT_EQ(ReadBytes(path), original);
    }
}

TEST(DocumentSave, Utf8DocumentKeepsItsBom) {
    const std::string original = "\xEF\xBB\xBF// 試料\r\n1 2\r\n";
    const DocumentText loaded = LoadDocumentText(original);
    EXPECT_EQ(DocumentFileBytes(loaded.text, loaded.encoding, loaded.hadBom).bytes, original);
}

TEST(DocumentSave, TextShiftJisCannotHoldIsNotWritten) {
    TempFolder folder;
    const std::string path = folder.Path("old.txt");
    WriteBytes(path, "old\r\n");
    const SaveTextOutcome saved = SaveText(path, "// 🙂\n1 2\n", TextEncoding::ShiftJis);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.message.find("Shift-JIS"), std::string::npos);
    EXPECT_EQ(ReadBytes(path), "old\r\n");
}

int FailingFsync(int) {
    errno = EIO;
    return -1;
}

TEST(DocumentSave, FailedFlushLeavesOldFileByteForByte) {
    TempFolder folder;
    const std::string path = folder.Path("data.txt");
    WriteBytes(path, "old\r\n1 2\r\n");
    FileSystemCalls calls = SystemFileCalls();
    calls.fsync = &FailingFsync;
    const SaveTextOutcome saved = SaveText(path, "new\n", TextEncoding::Utf8, false, calls);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.message.find("ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。"), std::string::npos);
    EXPECT_NE(saved.message.find("Input/output error"), std::string::npos);
    EXPECT_EQ(ReadBytes(path), "old\r\n1 2\r\n");
    EXPECT_EQ(folder.Listing(), "data.txt ");
}

TEST(DocumentSave, ReplacesThroughALinkAndKeepsPermissions) {
    TempFolder folder;
    const std::string real = folder.Path("real.txt");
    WriteBytes(real, "old");
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, folder.Path("link.txt"));
    ASSERT_TRUE(SaveText(folder.Path("link.txt"), "new", TextEncoding::Utf8).ok);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path("link.txt")));
    EXPECT_EQ(ReadBytes(real), "new\r\n");
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
}

TEST(OutputSettingsCheck, DivisionsHaveTheirRanges) {
    OutputSettings settings;
    EXPECT_FALSE(ValidateOutputSettings(settings));
    settings.divisions = {100000, 10000};
    EXPECT_FALSE(ValidateOutputSettings(settings));
    settings.divisions = {100001, 10};
    ASSERT_TRUE(ValidateOutputSettings(settings));
    EXPECT_EQ(ValidateOutputSettings(settings)->field, "divisions[0]");
    settings.divisions = {100, 0};
    EXPECT_EQ(ValidateOutputSettings(settings)->field, "divisions[1]");
    settings.divisions = {100, 10001};
    EXPECT_EQ(ValidateOutputSettings(settings)->field, "divisions[1]");
    settings.divisions = {100, 10};
    settings.xmaxMode = static_cast<CurveEndMode>(3);
    EXPECT_EQ(ValidateOutputSettings(settings)->field, "xmaxMode");
}

TEST(OutputSettingsCheck, MethodAllTurnsTheTableOff) {
    OutputSettings settings;
    EXPECT_TRUE(AcceptedOutputSettings(settings, FitMethod::Marquardt).paramTable);
    EXPECT_FALSE(AcceptedOutputSettings(settings, FitMethod::All).paramTable);
}

}  // namespace
}  // namespace quillon
