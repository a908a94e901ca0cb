#include <errno.h>
#include <gtest/gtest.h>

#include "files/result_writer.h"
#include "files_test_support.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::RecordingHost;
using testing::TempFolder;
using testing::WriteBytes;

// The example columns: a curve X column shorter than the Y column after it.
ResultColumnList ExampleColumns() {
    return {{"x_1", {0.0, 0.5}}, {"y_1", {1.0, 2.0, 3.0}}};
}

ResultFileText Format(std::string_view extension, ResultWriterState state,
                      const ResultColumnList& columns = ExampleColumns()) {
    const ResultFormat format = ChooseResultFormat(extension, state);
    return FormatResultFile(format, state, columns, 0);
}

TEST(ResultFormats, ZentographNormalListsEveryValueWithItsIndex) {
    const ResultFileText file = Format("dat", {});
    EXPECT_EQ(file.text,
              "*Model F:  a + b*X; linear\n<x_1>[0]=0\n<x_1>[1]=0.5\n"
              "<y_1>[0]=1\n<y_1>[1]=2\n<y_1>[2]=3\n");
    EXPECT_EQ(file.lineCount, 6);
}

TEST(ResultFormats, DelimitedTableLeavesShortColumnsEmpty) {
    const ResultFileText file = Format("txt", {});  // tab is the default separator
    EXPECT_EQ(file.text, "*Model F:  a + b*X; linear\nx_1\ty_1\n0\t1\n0.5\t2\n\t3\n");
    EXPECT_EQ(file.lineCount, 4);  // the heading line is not counted

    ResultWriterState comma;
    comma.m_nSeparator = kSeparatorComma;
    comma.m_bComment = false;
    comma.m_bHeader = false;
    const ResultFileText rows =
        Format("txt", comma, {{"a", {1.0}}, {"b", {2.0}}, {"c", {3.0, 4.0}}});
    EXPECT_EQ(rows.text, "1,2,3\n,,4\n");
    EXPECT_EQ(rows.lineCount, 3);  // the counter starts at 1 without a comment line
}

TEST(ResultFormats, SerialListLeavesOutDataXColumns) {
    ResultWriterState state;
    state.m_nSeparator = kSeparatorSerial;
    state.m_bComment = false;
    const ResultFileText file = Format("txt", state);
    EXPECT_EQ(file.text, "//y_1\n1\n2\n3\n");
    EXPECT_EQ(file.lineCount, 4);

    // A curve X column with a marker prefix does not begin with "x_".
    const ResultFileText marked = Format("txt", state, {{"*x_1", {7.0}}, {"x_2", {8.0}}});
    EXPECT_EQ(marked.text, "//*x_1\n7\n");
}

TEST(ResultFormats, Zentograph3DStridesIndicesByColumnCount) {
    ResultWriterState state;
    state.m_b3D = true;
    const ResultFileText file = Format("DAT", state);
    EXPECT_EQ(file.text,
              "*Model F:  a + b*X; linear\n"
              "<x>[0]=0\n<x>[1]=1\n<x>[2]=0\n<x>[3]=1\n"
              "<y>[0]=0\n<y>[1]=0\n<y>[2]=1\n<y>[3]=1\n"
              "<z>[0]=0\n<z>[1]=0.5\n<z>[2]=1\n<z>[3]=2\n<z>[4]=3\n");
    // 1 + one per column in the x and y blocks + one per z value.
    EXPECT_EQ(file.lineCount, 1 + 2 + 2 + 5);
}

TEST(ResultFormats, NumbersUseThreeDigitExponents) {
    ResultWriterState state;
    state.m_bComment = false;
    state.m_bHeader = false;
    EXPECT_EQ(Format("txt", state, {{"y", {1234567.0, 1e-7}}}).text, "1.23457e+006\n1e-007\n");
}

TEST(ResultFormatChoice, ExtensionDecidesAnyCase) {
    ResultWriterState state;
    EXPECT_EQ(ChooseResultFormat("DaT", state), ResultFormat::ZentographNormal);
    EXPECT_EQ(ChooseResultFormat("", state), ResultFormat::Delimited);
    state.m_nSeparator = kSeparatorSerial;
    EXPECT_EQ(ChooseResultFormat("", state), ResultFormat::Serial);
    EXPECT_EQ(state.m_nLastFormat, 4);
    state.m_b3D = true;
    EXPECT_EQ(ChooseResultFormat("dat", state), ResultFormat::Zentograph3D);
    EXPECT_EQ(state.m_nLastFormat, 3);
}

TEST(ResultFormatChoice, CsvForcesCommaForLaterSaves) {
    ResultWriterState state;
    state.m_nSeparator = kSeparatorSerial;
    EXPECT_EQ(ChooseResultFormat("CSV", state), ResultFormat::Delimited);
    EXPECT_EQ(state.m_nSeparator, kSeparatorComma);
    EXPECT_EQ(ChooseResultFormat("txt", state), ResultFormat::Delimited);
    EXPECT_EQ(state.m_nSeparator, kSeparatorComma);
}

TEST(ResultFormatChoice, ExtensionIsTakenFromTheFileName) {
    EXPECT_EQ(FileExtension("/tmp/calc.DAT"), "DAT");
    EXPECT_EQ(FileExtension("/tmp/my.folder/calc"), "");
    EXPECT_EQ(FileExtension("a.b.csv"), "csv");
}

TEST(ResultFileWrite, WritesCrLfAndReportsTheCount) {
    TempFolder folder;
    const std::string path = folder.Path("calc.dat");
    RecordingHost host;
    ResultWriterState state;
    const ResultWriteOutcome outcome =
        WriteResultFile(path, "dat", ExampleColumns(), 0, state, host);
    EXPECT_EQ(outcome.status, ResultWriteStatus::Written);
    EXPECT_EQ(ReadBytes(path),
              "*Model F:  a + b*X; linear\r\n<x_1>[0]=0\r\n<x_1>[1]=0.5\r\n"
              "<y_1>[0]=1\r\n<y_1>[1]=2\r\n<y_1>[2]=3\r\n");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "計算結果書き込み正常終了\n6 lines in\n" + path + "\n");
    EXPECT_EQ(host.waitDepth, 0);
    EXPECT_EQ(folder.Listing(), "calc.dat ");  // no temporary file left behind
}

TEST(ResultFileWrite, EmptyListCreatesNoFile) {
    TempFolder folder;
    RecordingHost host;
    ResultWriterState state;
    const ResultWriteOutcome outcome =
        WriteResultFile(folder.Path("calc.csv"), "csv", {}, 0, state, host);
    EXPECT_EQ(outcome.status, ResultWriteStatus::NoColumns);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "計算結果がありません！\n");
    EXPECT_EQ(host.messages[0].second, MessageIcon::Exclamation);
    EXPECT_EQ(folder.Listing(), "");
    EXPECT_EQ(state.m_nSeparator, kSeparatorComma);  // the csv rule ran first
}

ssize_t FailingWrite(int, const void*, size_t) {
    errno = ENOSPC;
    return -1;
}

TEST(ResultFileWrite, FailedWriteKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder.Path("calc.txt");
    WriteBytes(path, "old results\r\n");
    RecordingHost host;
    ResultWriterState state;
    ResultWriteOptions options;
    options.calls.write = &FailingWrite;
    const ResultWriteOutcome outcome =
        WriteResultFile(path, "txt", ExampleColumns(), 0, state, host, options);
    EXPECT_EQ(outcome.status, ResultWriteStatus::WriteFailed);
    EXPECT_EQ(ReadBytes(path), "old results\r\n");
    EXPECT_EQ(folder.Listing(), "calc.txt ");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].second, MessageIcon::Error);
    EXPECT_NE(host.messages[0].first.find("ﾄﾞｷｭﾒﾝﾄの保存に失敗しました。"), std::string::npos);
    EXPECT_NE(host.messages[0].first.find(path), std::string::npos);
    EXPECT_NE(host.messages[0].first.find("No space left on device"), std::string::npos);
}

TEST(ResultFileWrite, FullDeviceIsReportedNotReplaced) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    RecordingHost host;
    ResultWriterState state;
    const ResultWriteOutcome outcome =
        WriteResultFile("/dev/full", "", ExampleColumns(), 0, state, host);
    EXPECT_EQ(outcome.status, ResultWriteStatus::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST(ResultFileWrite, MissingFolderIsAnOpenFailure) {
    TempFolder folder;
    RecordingHost host;
    ResultWriterState state;
    const ResultWriteOutcome outcome =
        WriteResultFile(folder.Path("none/calc.dat"), "dat", ExampleColumns(), 0, state, host);
    EXPECT_EQ(outcome.status, ResultWriteStatus::OpenFailed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find("ﾄﾞｷｭﾒﾝﾄを開くことに失敗しました。"), std::string::npos);
}

TEST(ResultFileWrite, ShiftJisEncodingOnRequest) {
    TempFolder folder;
    const std::string path = folder.Path("calc.txt");
    RecordingHost host;
    ResultWriterState state;
    ResultWriteOptions options;
    options.encoding = TextEncoding::ShiftJis;
    WriteResultFile(path, "txt", {{"試料", {1.0}}}, 0, state, host, options);
    EXPECT_NE(ReadBytes(path).find("\x8e\x8e\x97\xbf\r\n1\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quillon
