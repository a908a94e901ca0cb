#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli/cli_options.h"
#include "run_program.h"

namespace quillon {
namespace {

using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
using testing::WriteFile;
namespace fs = std::filesystem;

const std::string kProgram = QUILLON_PROGRAM;

ProgramResult Quillon(std::vector<std::string> args, const std::string* input = nullptr) {
    args.insert(args.begin(), {"--color", "never"});
    return RunProgram(kProgram, args, input);
}

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/quillon-test-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string File(const std::string& name, const std::string& bytes) const {
        const std::string path = m_path + "/" + name;
        WriteFile(path, bytes);
        return path;
    }
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

std::vector<std::string> SplitArgs(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> args;
    for (std::string word; in >> word;) {
        args.push_back(word);
    }
    return args;
}

// Every tests/golden/NAME.txt is run with the options of NAME.args and must
// print NAME.out exactly.
TEST(CliGolden, ReportsMatchByteForByte) {
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(QUILLON_GOLDEN_DIR)) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
        fs::path base = entry.path();
        base.replace_extension();
        std::vector<std::string> args = SplitArgs(ReadFile(base.string() + ".args"));
        args.push_back(entry.path().string());
        const ProgramResult result = Quillon(args);
        EXPECT_EQ(result.status, 0) << base;
        EXPECT_EQ(result.out, ReadFile(base.string() + ".out")) << base;
        ++cases;
    }
    EXPECT_GE(cases, 6);
}

TEST(CliInput, StandardInputWhenFileIsAbsentOrDash) {
    const std::string text = "// test\n0,\t1\n1,\t3\n2,\t5\n";
    const std::string want = ReadFile(std::string(QUILLON_GOLDEN_DIR) + "/worked_example.out");
    EXPECT_EQ(Quillon({"-"}, &text).out, want);
    EXPECT_EQ(Quillon({}, &text).out, want);
}

TEST(CliInput, ShiftJisTextIsReadAsJapanese) {
    TempDir dir;
    // "// 試料 (T=5)" in Shift-JIS, CR LF line ends.
    const std::string path =
        dir.File("sjis.bol", "// \x8e\x8e\x97\xbf (T=5)\r\n0 1\r\n1 3\r\n2 5\r\n");
    const ProgramResult result = Quillon({path});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("\n// 試料 (T=5)\n  a +/- a_sig = 1 +/- 0 \n"), std::string::npos)
        << result.out;
    const ProgramResult json = Quillon({"--format", "json", path});
    const auto report = nlohmann::json::parse(json.out);
    EXPECT_EQ(report["sets"][0]["label"]["name"], "T");
    EXPECT_EQ(report["sets"][0]["label"]["value"], 5.0);
}

TEST(CliInput, Utf16TextIsReadLikeUtf8) {
    using namespace std::string_literals;
    TempDir dir;
    const std::string utf8 = dir.File("plain.txt", "// 試料 (T=5)\r\n0\t1\r\n1\t3\r\n2\t5.5\r\n");
    // The same text in UTF-16LE behind its mark, as a spreadsheet exports it.
    std::string utf16 = "\xFF\xFE";
    for (const char16_t unit : u"// 試料 (T=5)\r\n0\t1\r\n1\t3\r\n2\t5.5\r\n"s) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    const std::string unicode = dir.File("unicode.txt", utf16);
    const ProgramResult expected = Quillon({utf8});
    const ProgramResult result = Quillon({unicode});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, expected.out);
}

TEST(CliInput, EmptyAndBinaryFilesGiveOnlyTheHeader) {
    TempDir dir;
    const std::string header = "Model function: Y = a + b*X; linear\n\n";
    const ProgramResult empty = Quillon({dir.File("empty.txt", "")});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, header);
    const ProgramResult binary =
        Quillon({dir.File("bin.dat", std::string("\x7f"
                                                 "ELF\x02\x01\x01\x00\x00 1 2\n3 4\n5 6",
                                                 22))});
    EXPECT_EQ(binary.status, 0);
    EXPECT_EQ(binary.out, header);
    EXPECT_NE(binary.err.find("binary"), std::string::npos);
}

TEST(CliInput, UnreadablePathsExitOneNamingThePath) {
    TempDir dir;
    const ProgramResult missing = Quillon({dir.Path() + "/nope.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nope.txt"), std::string::npos);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
    EXPECT_EQ(missing.out, "");
    const ProgramResult directory = Quillon({dir.Path()});
    EXPECT_EQ(directory.status, 1);
    EXPECT_NE(directory.err.find("directory"), std::string::npos);
}

TEST(CliInput, RandomBytesNeverCrash) {
    TempDir dir;
    std::mt19937 random(2026);
    std::uniform_int_distribution<int> byte(1, 255);  // no NUL: decoded as text
    for (int round = 0; round < 20; ++round) {
        std::string bytes;
        for (int i = 0; i < 2000; ++i) {
            const int b = byte(random);
            bytes += b < 40 ? "0123456789 ,\t\n.-e/"[b % 19] : static_cast<char>(b);
        }
        const ProgramResult result = Quillon({dir.File("noise.txt", bytes)});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.rfind("Model function: Y =", 0), 0u);
        const ProgramResult json =
            Quillon({"--format", "json", "--file", dir.File("noise.txt", bytes)});
        EXPECT_EQ(json.status, 0);
        EXPECT_TRUE(nlohmann::json::accept(json.out));
    }
}

TEST(CliUsage, BadOptionsExitTwoNamingTheOption) {
    const std::string text = "0 1\n1 2\n2 3\n";
    const struct {
        std::vector<std::string> args;
        const char* mention;
    } cases[] = {
        {{"--model", "43"}, "--model"},
        {{"-m", "-1"}, "--model"},
        {{"-m", "x"}, "--model"},
        {{"--method", "Newton"}, "Gradient-search"},
        {{"--format", "xml"}, "--format"},
        {{"--color", "blue"}, "--color"},
        {{"--bogus"}, "--bogus"},
        {{"--n-cut", "9"}, "--n-cut"},
        {{"--chi-cut", "0"}, "--chi-cut"},
        {{"--f-er", "2e6"}, "--f-er"},
        {{"--chisqdof-lim", "1001"}, "--chisqdof-lim"},
        {{"--fixed-c", "warm"}, "--fixed-c"},
        {{"-m", "21", "--share", "2"}, "--share 2"},  // A0 and A1 only
        {{"--share", "x"}, "--share"},
        {{"--plot-global"}, "--plot"},
    };
    for (const auto& c : cases) {
        const ProgramResult result = Quillon(c.args, &text);
        EXPECT_EQ(result.status, 2) << c.args[0];
        EXPECT_NE(result.err.find(c.mention), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST(CliUsage, ListsOfModelsAndMethods) {
    const ProgramResult methods = Quillon({"--list-methods"});
    EXPECT_EQ(methods.out, "Marquardt\nExpansion\nPowell\nGradient-search\nALL\n");
    const ProgramResult help = Quillon({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--model"), std::string::npos);
}

TEST(CliOptions, MethodByNameInAnyCaseOrByDigit) {
    EXPECT_EQ(ParseMethod("marquardt"), FitMethod::Marquardt);
    EXPECT_EQ(ParseMethod("GRADIENT-SEARCH"), FitMethod::GradientSearch);
    EXPECT_EQ(ParseMethod("all"), FitMethod::All);
    EXPECT_EQ(ParseMethod("2"), FitMethod::Powell);
    EXPECT_FALSE(ParseMethod("5"));
    EXPECT_FALSE(ParseMethod("Gradient"));
    CliOptions options;
    std::ostringstream out, err;
    EXPECT_FALSE(ParseCliOptions({"-M", "powell", "--format", "json", "--file", "d.txt"}, options,
                                 out, err));
    EXPECT_EQ(options.method, FitMethod::Powell);
    EXPECT_EQ(options.format, ReportFormat::Json);
    EXPECT_TRUE(options.file);
    EXPECT_EQ(options.input, "d.txt");
}

TEST(CliOutput, ColoursFollowTheKinds) {
    const std::string text = "// m\n0 1\n1 3\n2 5\n\nx\n";
    const ProgramResult result = RunProgram(kProgram, {"--color", "always"}, &text);
    EXPECT_NE(result.out.find("\x1b[38;2;32;32;160m// m\n\x1b[0m"), std::string::npos);
    EXPECT_NE(result.out.find("\x1b[38;2;0;128;0m  a +/- a_sig"), std::string::npos);
    EXPECT_NE(result.out.find("\x1b[38;2;139;0;0mData invalid!\n"), std::string::npos);
    // Not a terminal: no colours by default.
    const ProgramResult plain = RunProgram(kProgram, {}, &text);
    EXPECT_EQ(plain.out.find('\x1b'), std::string::npos);
}

TEST(CliOutput, JsonHoldsMessagesLabelsAndColumnsOnlyWithTheFileSwitch) {
    const std::string text = "// (T=3)\n0 1\n1 3\n2 5\n\nabc\n// b\n1 1\n1 2\n1 3\n";
    const auto report = nlohmann::json::parse(Quillon({"--format", "json"}, &text).out);
    EXPECT_FALSE(report.contains("columns"));
    ASSERT_EQ(report["sets"].size(), 2u);
    EXPECT_EQ(report["sets"][0]["label"]["name"], "T");
    EXPECT_EQ(report["sets"][1]["fits"][0]["outcome"], 0);
    EXPECT_EQ(report["sets"][1]["fits"][0]["message"], "Abnormal data!!\n");
    EXPECT_TRUE(report["sets"][1]["fits"][0]["chisq_dof"].is_null());
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["kind"], "error");
    EXPECT_EQ(report["messages"][0]["text"], "Data invalid!\nabc\n\n");
    const auto withFile = nlohmann::json::parse(Quillon({"--format", "json", "--file"}, &text).out);
    ASSERT_TRUE(withFile.contains("columns"));
    EXPECT_EQ(withFile["columns"][0]["name"], "Param_1");
}

TEST(CliStatistics, StatsSwitchAddsTheBlockAfterEachParameterBlockOnly) {
    const std::string text = "// line\n0 1\n1 3.5\n2 4.5\n3 7\n\n// flat\n1 1\n1 2\n1 3\n";
    const std::string plain = Quillon({}, &text).out;
    const ProgramResult with = Quillon({"--stats"}, &text);
    ASSERT_EQ(with.status, 0);
    EXPECT_EQ(plain.find("Statistics:"), std::string::npos);
    const std::string tail = "  Number of points: 4\n\n";
    const std::size_t at = plain.find(tail);
    ASSERT_NE(at, std::string::npos);
    const std::size_t blockStart = at + tail.size();
    ASSERT_EQ(with.out.compare(0, blockStart, plain, 0, blockStart), 0);
    EXPECT_EQ(with.out.compare(blockStart, 12, "Statistics:\n"), 0) << with.out;
    // The rest of the report, the failed set included, is as without it.
    const std::size_t blockEnd = with.out.find("\n\n", blockStart) + 2;
    EXPECT_EQ(with.out.substr(blockEnd), plain.substr(blockStart));
    EXPECT_NE(with.out.find("  95% confidence intervals (t = 4.302653):\n"), std::string::npos);
}

TEST(CliStatistics, JsonCarriesTheFiguresWithOrWithoutTheSwitch) {
    const std::string text = "// line\n0 1\n1 3.5\n2 4.5\n3 7\n\n// flat\n1 1\n1 2\n1 3\n";
    const std::string json = Quillon({"--format", "json"}, &text).out;
    EXPECT_EQ(Quillon({"--format", "json", "--stats"}, &text).out, json);
    const auto report = nlohmann::json::parse(json);
    const auto& fit = report["sets"][0]["fits"][0];
    // Y = 1.15 + 1.9 X; residuals -0.15, 0.45, -0.45, 0.15; sigma² = 0.45 / 2;
    // (XᵀX)⁻¹ = [[14, -6], [-6, 4]] / 20.
    const double sigma2 = 0.45 / 2;
    const double expected[2][2] = {{0.7 * sigma2, -0.3 * sigma2}, {-0.3 * sigma2, 0.2 * sigma2}};
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 2; ++k) {
            EXPECT_NEAR(fit["covariance"][i][k].get<double>(), expected[i][k], 1e-12);
        }
        const double half = 4.302653 * std::sqrt(expected[i][i]);
        EXPECT_NEAR(fit["confidence_95"][i][0].get<double>(), i == 0 ? 1.15 - half : 1.9 - half,
                    1e-5);
        EXPECT_NEAR(fit["confidence_95"][i][1].get<double>(), i == 0 ? 1.15 + half : 1.9 + half,
                    1e-5);
    }
    EXPECT_NEAR(fit["correlation"][0][1].get<double>(), -0.3 / std::sqrt(0.7 * 0.2), 1e-12);
    // Σ(y - ȳ)² = 18.5 about ȳ = 4.
    EXPECT_NEAR(fit["r_squared"].get<double>(), 1 - 0.45 / 18.5, 1e-12);
    EXPECT_NEAR(fit["aic"].get<double>(), 4 * std::log(0.45 / 4) + 4, 1e-12);
    EXPECT_NEAR(fit["bic"].get<double>(), 4 * std::log(0.45 / 4) + 2 * std::log(4.0), 1e-12);
    const auto& failed = report["sets"][1]["fits"][0];
    for (const char* key :
         {"covariance", "correlation", "confidence_95", "r_squared", "aic", "bic"}) {
        ASSERT_TRUE(failed.contains(key)) << key;
        EXPECT_TRUE(failed[key].is_null()) << key;
    }
}

// --fix and --bound: the same fit as the lines before the data; the JSON
// keys only when used; bad values exit 2 naming the option.
TEST(CliConstraints, OptionsActAsLinesBeforeTheDataAndJsonMarksThem) {
    std::string data;
    for (int i = 1; i <= 15; ++i) {
        const double x = 0.6 * i;
        data += std::to_string(x) + " " + std::to_string(8 / (1 + 2 * std::exp(-0.7 * x))) + "\n";
    }
    const std::string lines = "<<a[2] = 0.7 fixed>>\n" + data;
    const ProgramResult byLine = Quillon({"-m", "22", "--format", "json"}, &lines);
    const ProgramResult byOption =
        Quillon({"-m", "22", "--format", "json", "--fix", "2=0.7"}, &data);
    ASSERT_EQ(byOption.status, 0) << byOption.err;
    EXPECT_EQ(byOption.out, byLine.out);
    const ProgramResult bounded =
        Quillon({"-m", "22", "--format", "json", "--fix", "2=0.7", "--bound", "0=0:7.5"}, &data);
    const auto fit = nlohmann::json::parse(bounded.out)["sets"][0]["fits"][0];
    EXPECT_EQ(fit["fixed"], nlohmann::json::parse("[false, false, true]"));
    EXPECT_EQ(fit["bounds"], nlohmann::json::parse("[[0, 7.5], null, null]"));
    EXPECT_EQ(fit["at_bound"], nlohmann::json::parse("[true, false, false]"));
    EXPECT_TRUE(fit["errors"][0].is_null());
    EXPECT_EQ(fit["dof"], 13);

    const auto plain = nlohmann::json::parse(Quillon({"-m", "22", "--format", "json"}, &data).out);
    for (const char* key : {"fixed", "bounds", "at_bound"}) {
        EXPECT_FALSE(plain["sets"][0]["fits"][0].contains(key)) << key;
    }
    const auto open = nlohmann::json::parse(
        Quillon({"-m", "22", "--format", "json", "--bound", "1=:100"}, &data).out);
    EXPECT_EQ(open["sets"][0]["fits"][0]["bounds"][1], nlohmann::json::parse("[null, 100]"));

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--fix", "2"},
                                                {"--fix", "x=1"},
                                                {"--fix", "2=abc"},
                                                {"--fix", "-1=3"},
                                                {"--fix", "1.5=3"},
                                                {"--bound", "1=5:2"},
                                                {"--bound", "1=:"},
                                                {"--bound", "1=3"},
                                                {"--bound", "1=a:b"}}) {
        std::vector<std::string> args{"-m", "22"};
        args.insert(args.end(), bad.begin(), bad.end());
        const ProgramResult result = Quillon(args, &data);
        EXPECT_EQ(result.status, 2) << bad[1];
        EXPECT_NE(result.err.find("quillon: " + bad[0] + " " + bad[1]), std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty()) << bad[1];
    }
}

// Certified results of NIST's linear regression problems, read at run time.
TEST(CliNist, LinearFitsAgreeWithCertifiedValues) {
    const char* env = std::getenv("QUILLON_NIST_DIR");
    const fs::path nist = env ? fs::path(env) : fs::path(QUILLON_NIST_DIR);
    if (!fs::exists(nist / "certified.json")) {
        GTEST_SKIP() << "no NIST reference folder at " << nist << " (set QUILLON_NIST_DIR)";
    }
    const auto certified = nlohmann::json::parse(ReadFile((nist / "certified.json").string()));
    int checked = 0;
    for (const auto& [name, problem] : certified["problems"].items()) {
        const int model = problem["model_id"];
        if (model != 0 && model != 28) {
            continue;
        }
        const std::string data = (nist / problem["data_file"].get<std::string>()).string();
        const ProgramResult result =
            Quillon({"--format", "json", "-m", std::to_string(model), data});
        ASSERT_EQ(result.status, 0) << name;
        const auto fit = nlohmann::json::parse(result.out)["sets"][0]["fits"][0];
        ASSERT_EQ(fit["outcome"], 1) << name;
        for (const auto& param : problem["params"]) {
            const int index = param["name"] == "a" ? 0 : 1;
            const double value = fit["parameters"][index];
            const double se = fit["errors"][index];
            EXPECT_NEAR(value, param["value"].get<double>(),
                        1e-9 * std::abs(param["value"].get<double>()))
                << name << " " << param["name"];
            EXPECT_NEAR(se, param["se"].get<double>(), 1e-9 * param["se"].get<double>())
                << name << " " << param["name"];
        }
        const double rss = std::stod(problem["rss"].get<std::string>());
        const double chisq = fit["chisq_dof"];
        EXPECT_NEAR(chisq * problem["dof"].get<int>(), rss, 1e-9 * rss) << name;
        EXPECT_EQ(fit["dof"], problem["dof"]) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

}  // namespace
}  // namespace quillon
