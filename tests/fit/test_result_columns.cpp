// The result columns of one fitted set, as both kinds of fit build them:
// which columns the output settings ask for, their names, order and values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fit/result_columns.h"

namespace quillon {
namespace {

std::vector<std::string> Names(const ResultColumnList& columns) {
    std::vector<std::string> names;
    for (const CResultColumn& column : columns) {
        names.push_back(column.name);
    }
    return names;
}

// A set of two parameters on X from 0 to 10, with a curve 2x + 1 that counts
// how often it is asked for its range.
struct SetFixture {
    FitSettings settings;
    const double parameters[2] = {1.0, 2.0};
    int rangeCalls = 0;
    ResultColumnList fileColumns;
    ResultColumnList tableColumns;

    FittedSet Set(CurveXRange range = {0, 10, 0, 1}) {
        FittedSet set;
        set.names = {"T", "P", "X", "Y"};
        set.parameters = parameters;
        set.chisqDof = 0.25;
        set.dof = 7;
        set.points = 9;
        set.curve.xRange = [this, range] {
            ++rangeCalls;
            return range;
        };
        set.curve.value = [](double x) { return 2 * x + 1; };
        return set;
    }
    void Append(const FittedSet& set) {
        AppendSetColumns(settings, set, fileColumns, tableColumns);
    }
};

struct SettingsCase {
    ResultContents contents;
    bool paramTable;
    FitMethod method;
    std::vector<std::string> file;
    std::vector<std::string> table;
};

class SetColumnsBySettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SetColumnsBySettings, OnlyTheColumnsAskedForInTheirOrder) {
    const SettingsCase& c = GetParam();
    SetFixture f;
    f.settings.output.contents = c.contents;
    f.settings.output.paramTable = c.paramTable;
    f.settings.method = c.method;
    f.Append(f.Set());
    EXPECT_EQ(Names(f.fileColumns), c.file);
    EXPECT_EQ(Names(f.tableColumns), c.table);
    // The data's X range is only looked at for a curve.
    EXPECT_EQ(f.rangeCalls, c.contents == ResultContents::Parameters ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    ContentsTableAndMethod, SetColumnsBySettings,
    ::testing::Values(
        SettingsCase{ResultContents::Both, true, FitMethod::Powell, {"P", "X", "Y"}, {"T"}},
        SettingsCase{ResultContents::Parameters, true, FitMethod::Marquardt, {"P"}, {"T"}},
        SettingsCase{ResultContents::Curve, true, FitMethod::Marquardt, {"X", "Y"}, {"T"}},
        SettingsCase{ResultContents::Both, false, FitMethod::Marquardt, {"P", "X", "Y"}, {}},
        SettingsCase{ResultContents::Both, true, FitMethod::All, {"P", "X", "Y"}, {}},
        // A number outside the three counts as both, as it always has.
        SettingsCase{
            static_cast<ResultContents>(3), true, FitMethod::Marquardt, {"P", "X", "Y"}, {"T"}}));

TEST(SetColumns, ParameterColumnEndsWithChiSquareDofAndPoints) {
    SetFixture f;
    f.Append(f.Set());
    ASSERT_EQ(f.tableColumns.size(), 1u);
    EXPECT_EQ(f.tableColumns[0].values, (std::vector<double>{1, 2}));
    ASSERT_EQ(f.fileColumns.size(), 3u);
    EXPECT_EQ(f.fileColumns[0].values, (std::vector<double>{1, 2, 0.25, 7, 9}));
}

TEST(SetColumns, CurveIsSampledOverTheRangeAndEvaluatedAtEachX) {
    SetFixture f;
    f.settings.output.divisions = {4, 10};
    f.Append(f.Set());
    ASSERT_EQ(f.fileColumns.size(), 3u);
    const std::vector<double>& xs = f.fileColumns[1].values;
    const std::vector<double>& ys = f.fileColumns[2].values;
    EXPECT_EQ(xs, (std::vector<double>{0, 2.5, 5, 7.5, 10}));
    ASSERT_EQ(ys.size(), xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
        EXPECT_EQ(ys[i], 2 * xs[i] + 1) << i;
    }
}

TEST(SetColumns, NoAbscissaeLeaveOutTheCurveButNotTheParameters) {
    SetFixture f;
    f.Append(f.Set({5, 5, 5, 5}));  // a zero range gives a zero step
    EXPECT_EQ(Names(f.fileColumns), (std::vector<std::string>{"P"}));
    EXPECT_EQ(Names(f.tableColumns), (std::vector<std::string>{"T"}));
}

TEST(SetColumnNames, LinearAndNonlinearNames) {
    const SetColumnNames linear = LinearColumnNames(4);
    EXPECT_EQ(linear.table, "Linear_4");
    EXPECT_EQ(linear.parameters, "Param_4");
    EXPECT_EQ(linear.curveX, "x_4");
    EXPECT_EQ(linear.curveY, "y_4");
    const SetColumnNames nonlinear = NonlinearColumnNames("!", 12, "_Pow");
    EXPECT_EQ(nonlinear.table, "!a_12_Pow");
    EXPECT_EQ(nonlinear.parameters, "!a_12_Pow");
    EXPECT_EQ(nonlinear.curveX, "!x_12_Pow");
    EXPECT_EQ(nonlinear.curveY, "!y_12_Pow");
    EXPECT_EQ(NonlinearColumnNames("", 1, "").curveY, "y_1");
}

}  // namespace
}  // namespace quillon
