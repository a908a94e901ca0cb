#include <gtest/gtest.h>

#include <cmath>

#include "engine/compute.h"
#include "engine/wave_report.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

std::vector<std::string> Names(const ResultColumnList& columns) {
    std::vector<std::string> names;
    for (const CResultColumn& c : columns) {
        names.push_back(c.name);
    }
    return names;
}

const CResultColumn& Named(const ResultColumnList& columns, const std::string& name,
                           int occurrence = 0) {
    for (const CResultColumn& c : columns) {
        if (c.name == name && occurrence-- == 0) {
            return c;
        }
    }
    static const CResultColumn none;
    ADD_FAILURE() << "no column " << name;
    return none;
}

TEST(WavePhase, UnwrapKeepsNeighboursWithinHalfACycle) {
    std::vector<double> phases{0.9, 0.1, 0.3};
    UnwrapPhases(phases);
    EXPECT_NEAR(phases[1], 1.1, 1e-15);
    EXPECT_NEAR(phases[2], 1.3, 1e-15);
    std::vector<double> falling{0.1, 0.8, 0.4};
    UnwrapPhases(falling);
    EXPECT_NEAR(falling[1], -0.2, 1e-15);
    EXPECT_NEAR(falling[2], -0.6, 1e-15);
    std::vector<double> withNan{0.1, NAN, 0.2};
    UnwrapPhases(withNan);  // not a number is never a jump
    EXPECT_EQ(withNan[2], 0.2);
}

TEST(WaveReport, TwoSetsGiveWavelengthAndVelocity) {
    const ResultColumnList table{{"a_1", {2.0, 20.0, 0.0, 1.0}}, {"a_2", {2.0, 20.0, -5.0, 1.0}}};
    ResultColumnList file;
    AppendWaveReport(table, {"x", "x"}, {0.0, 1.0}, 1000.0, file);
    EXPECT_EQ(Names(file), (std::vector<std::string>{
                               "x", "Amplitude", "x", "Period in Frame number", "x", "Frequency",
                               "x", "Phase of one cycle", "x", "f(x)", "Period", "Framing rate",
                               "Frequency", "Wavelength", "Wave velocity"}));
    EXPECT_EQ(Named(file, "Frequency").values, (std::vector<double>{50.0, 50.0}));
    EXPECT_EQ(Named(file, "Phase of one cycle").values, (std::vector<double>{0.0, -0.25}));
    EXPECT_EQ(file[8].values, (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(Named(file, "f(x)").values, (std::vector<double>{0.0, -0.25}));
    EXPECT_EQ(Named(file, "Period").values, (std::vector<double>{20.0}));
    EXPECT_EQ(Named(file, "Frequency", 1).values, (std::vector<double>{50.0}));
    EXPECT_DOUBLE_EQ(Named(file, "Wavelength").values[0], 4.0);
    EXPECT_DOUBLE_EQ(Named(file, "Wave velocity").values[0], 200.0);
}

TEST(WaveReport, NegativeAmplitudeAddsHalfACycle) {
    const ResultColumnList table{{"a_1", {-2.0, 10.0, 1.0, 0.0}}, {"a_2", {2.0, 10.0, 1.0, 0.0}}};
    ResultColumnList file;
    AppendWaveReport(table, {"No."}, {1.0, 2.0}, 1.0, file);
    const auto& phases = Named(file, "Phase of one cycle").values;
    EXPECT_NEAR(phases[0], 0.6, 1e-15);
    EXPECT_NEAR(phases[1], 0.1, 1e-15);  // within half a cycle of 0.6: no unwrapping
}

TEST(WaveReport, OneSetHasNoPhaseLine) {
    const ResultColumnList table{{"a_1", {2.0, 0.0, 3.0, 1.0}}};
    ResultColumnList file;
    AppendWaveReport(table, {"No."}, {1.0}, 1.0, file);
    EXPECT_EQ(Names(file).back(), "Frequency");
    EXPECT_TRUE(std::isinf(Named(file, "Frequency").values[0]));  // zero period: as it comes
    const auto& ends = Named(file, "f(No.)").values;
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(std::isnan(ends[0]));
    EXPECT_TRUE(std::isnan(ends[1]));
}

TEST(WaveReport, EqualPhasesGiveAFlatLineButNoWavelength) {
    const ResultColumnList table{{"a_1", {1, 10, 2, 0}}, {"a_2", {1, 10, 2, 0}}};
    ResultColumnList file;
    AppendWaveReport(table, {"T"}, {5.0, 7.0}, 1.0, file);
    const auto& ends = Named(file, "f(T)").values;
    EXPECT_NEAR(ends[0], 0.2, 1e-12);
    EXPECT_NEAR(ends[1], 0.2, 1e-12);
    EXPECT_EQ(Names(file).back(), "Frequency");
}

// The wave columns follow the parameter table, and only for the biased
// period sine with a single method.
TEST(WaveReport, ComesAfterTheParameterTableOfModelTwelve) {
    std::vector<std::string> lines{"* framing: 100"};
    for (int set = 0; set < 2; ++set) {
        lines.push_back("// (z=" + std::to_string(set) + ")");
        for (int x = 0; x < 64; ++x) {
            lines.push_back(std::to_string(x) + " " +
                            std::to_string(3 * std::sin(2 * M_PI * (x + 2 * set) / 16.0) + 1));
        }
    }
    for (FitMethod method : {FitMethod::Marquardt, FitMethod::All}) {
        ComputeSession session;
        session.settings.modelId = 12;
        session.settings.method = method;
        session.settings.output.enabled = true;
        session.settings.output.contents = ResultContents::Parameters;
        testing::RecordingHost host;
        ComputeParameters(lines, session, host);
        const auto names = host.ColumnNames();
        if (method == FitMethod::All) {
            EXPECT_EQ(host.Column("Amplitude"), nullptr);
            continue;
        }
        ASSERT_EQ(names.size(), 2u + 8u + 15u);
        EXPECT_EQ(names[2], "z");
        EXPECT_EQ(names[3], "A0");
        EXPECT_EQ(names[9], "A3");
        EXPECT_EQ(names[10], "z");
        EXPECT_EQ(names[11], "Amplitude");
        EXPECT_EQ(host.Column("Framing rate")->values, (std::vector<double>{100.0}));
        EXPECT_NEAR(host.Column("Period")->values[0], 16.0, 1e-3);
    }
}

}  // namespace
}  // namespace quillon
