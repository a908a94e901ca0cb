// quillon --plot: the graph file written by the command line, without a
// display and without the caller choosing a Qt platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/run_program.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;

const std::string kTwoSets =
    "// first (T=1)\n0 1 0.5\n1 3 0.5\n2 5.2 0.5\n3 6.9 0.5\n\n// 二番目 (T=2)\n0 2\n1 4.1\n2 6\n";

class CliPlot : public ::testing::Test {
  protected:
    void SetUp() override {
        // What a machine without a display has.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        m_dir =
            fs::temp_directory_path() /
            ("quillon_plot_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    ProgramResult Run(const std::vector<std::string>& args) const {
        return RunProgram(QUILLON_PROGRAM, args, &kTwoSets);
    }

    fs::path m_dir;
};

TEST_F(CliPlot, WritesPngSvgAndPdfAndTheSameReport) {
    const ProgramResult plain = Run({});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const ProgramResult png = Run({"--plot", Path("g.png")});
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(png.out, plain.out);
    EXPECT_EQ(ReadFile(Path("g.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(fs::file_size(Path("g.png")), 20000u);

    ASSERT_EQ(Run({"--plot", Path("g.svg"), "--plot-set", "2"}).status, 0);
    const std::string svg = ReadFile(Path("g.svg"));
    EXPECT_EQ(svg.substr(0, 5), "<?xml");
    EXPECT_NE(svg.find("<svg"), std::string::npos);

    ASSERT_EQ(Run({"--plot", Path("g.pdf"), "-M", "ALL"}).status, 0);
    EXPECT_EQ(ReadFile(Path("g.pdf")).substr(0, 5), "%PDF-");
}

// The toolkit says nothing on standard error, also without a runtime folder
// (XDG_RUNTIME_DIR), which Qt otherwise complains of.
TEST_F(CliPlot, StandardErrorHoldsNoToolkitMessages) {
    unsetenv("XDG_RUNTIME_DIR");
    for (const char* name : {"g.png", "g.svg", "g.pdf"}) {
        const ProgramResult result = Run({"--plot", Path(name), "-M", "ALL"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "") << name;
    }
    const ProgramResult missing = Run({"--plot", Path("g.png"), "--plot-set", "5"});
    EXPECT_EQ(missing.err, "quillon: no set 5 was fitted\n");
}

TEST_F(CliPlot, JsonReportStaysAsItWasWithAGraph) {
    const ProgramResult plain = Run({"--format", "json"});
    const ProgramResult plotted = Run({"--format", "json", "--plot", Path("g.png")});
    ASSERT_EQ(plotted.status, 0) << plotted.err;
    EXPECT_EQ(plotted.out, plain.out);
}

// --bands draws into the graph only: the SVG gains the bands' paths and
// the legend's note, the report stays as it was, and without it the graph
// is the same file as before.
TEST_F(CliPlot, BandsChangeTheGraphAndNotTheReport) {
    const ProgramResult plain = Run({"--plot", Path("plain.svg")});
    const ProgramResult again = Run({"--plot", Path("again.svg")});
    const ProgramResult bands = Run({"--plot", Path("bands.svg"), "--bands", "90"});
    ASSERT_EQ(bands.status, 0) << bands.err;
    EXPECT_EQ(bands.out, plain.out);
    const std::string without = ReadFile(Path("plain.svg"));
    const std::string with = ReadFile(Path("bands.svg"));
    EXPECT_EQ(ReadFile(Path("again.svg")), without);
    EXPECT_GT(with.size(), without.size());
    // The note wraps in the legend's column: its words are looked for alone.
    EXPECT_EQ(without.find("信頼帯"), std::string::npos);
    EXPECT_NE(with.find("信頼帯"), std::string::npos);
    EXPECT_NE(with.find("予測帯"), std::string::npos);  // the second set gave no SDs
}

TEST_F(CliPlot, OtherSuffixIsAUsageError) {
    const ProgramResult result = Run({"--plot", Path("g.jpg")});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(".png, .svg or .pdf"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(Path("g.jpg")));
}

TEST_F(CliPlot, SetThatWasNotFittedFailsAfterTheReport) {
    const ProgramResult result = Run({"--plot", Path("g.png"), "--plot-set", "3"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("二番目"), std::string::npos);
    EXPECT_NE(result.err.find("no set 3 was fitted"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(Path("g.png")));
}

TEST_F(CliPlot, GlobalFitGraphNeedsAGlobalFit) {
    const ProgramResult none = Run({"--plot", Path("g.png"), "--plot-global"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no global fit"), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(Path("g.png")));
    const ProgramResult shared =
        Run({"-m", "42", "--share", "1", "--plot", Path("g.png"), "--plot-global"});
    EXPECT_EQ(shared.status, 0) << shared.err;
    EXPECT_TRUE(fs::exists(Path("g.png")));
}

// The graph writer is a module loaded for --plot alone: the program runs
// without it, finds it in the installed layout, and says so when it is gone.
TEST_F(CliPlot, GraphWriterIsFoundBesideOrInstalledAndItsAbsenceIsReported) {
    const fs::path program(QUILLON_PROGRAM);
    const fs::path module = program.parent_path() / "quillon-plot.so";
    ASSERT_TRUE(fs::exists(module));

    fs::create_directories(m_dir / "alone");
    const fs::path alone = m_dir / "alone" / "quillon";
    fs::copy_file(program, alone);
    const ProgramResult report = RunProgram(alone.string(), {}, &kTwoSets);
    EXPECT_EQ(report.status, 0) << report.err;
    const ProgramResult missing = RunProgram(alone.string(), {"--plot", Path("g.png")}, &kTwoSets);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, report.out);  // the report is printed all the same
    EXPECT_NE(missing.err.find("cannot load the graph writer"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(Path("g.png")));

    // bin/quillon with lib/quillon/quillon-plot.so, as an install lays them out.
    fs::create_directories(m_dir / "usr" / "bin");
    fs::create_directories(m_dir / "usr" / "lib" / "quillon");
    fs::copy_file(program, m_dir / "usr" / "bin" / "quillon");
    fs::copy_file(module, m_dir / "usr" / "lib" / "quillon" / "quillon-plot.so");
    const ProgramResult installed = RunProgram((m_dir / "usr" / "bin" / "quillon").string(),
                                               {"--plot", Path("g.png")}, &kTwoSets);
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(ReadFile(Path("g.png")).substr(0, 4), "\x89PNG");
}

TEST_F(CliPlot, PlotSetNeedsPlot) {
    EXPECT_EQ(Run({"--plot-set", "1"}).status, 2);
}

}  // namespace
}  // namespace quillon
