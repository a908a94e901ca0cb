// A user's formula through the workspace and the compute: exact derivatives
// in place of finite differences, its start, its report and its columns.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "fit/dfpowell.h"
#include "models/formula_model.h"
#include "records/number_format.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

using testing::RecordingHost;

constexpr const char* kLogisticFormula = "A0/(1+A1*exp(-A2*X))";
constexpr int kLogisticId = 22;  // the catalogue's A0 / (1 + A1 exp(-A2 X))

// Twelve points of 10 / (1 + 3 exp(-0.8 x)) with a little deterministic
// scatter, after the given directive lines.
std::vector<std::string> LogisticLines(const std::vector<std::string>& directives = {}) {
    std::vector<std::string> lines{"// logistic"};
    lines.insert(lines.end(), directives.begin(), directives.end());
    for (int i = 0; i < 12; ++i) {
        const double y = 10 / (1 + 3 * std::exp(-0.8 * i)) + ((i * 7) % 5 - 2) * 0.05;
        lines.push_back(Sprintf("%d %.6f", i, y));
    }
    return lines;
}

struct FormulaRun {
    ComputeSession session;
    RecordingHost host;
    ComputeRecord record;

    FormulaRun(const std::string& formula, FitMethod method, int jobs = 1) : m_jobs(jobs) {
        session.settings.formula = formula;
        session.settings.method = method;
    }
    const ComputeRecord& Go(const std::vector<std::string>& lines) {
        alarm(120);  // a fit that does not end fails the test program
        record = ComputeParameters(lines, session, host, nullptr, m_jobs);
        alarm(0);
        return record;
    }
    std::string Text() const { return host.pane; }

  private:
    int m_jobs;
};

TEST(FormulaWorkspace, ExactCurvatureMatchesTheFiniteDifferencesOfTheSameModel) {
    // The same straight line as a formula and as a model without derivatives
    // of its own: for a line, forward differences are exact up to rounding.
    const std::vector<double> x{0, 1, 2, 3, 4};
    const std::vector<double> y{1.1, 2.9, 5.2, 6.8, 9.1};
    const std::vector<double> w{1, 2, 1, 0.5, 1};
    auto formula = CreateFormulaModel("A0 + A1*X", x.data(), y.data(), w.data(), 5, 1e-4);
    ASSERT_TRUE(formula);
    formula->Init();
    std::string log;
    DFPowell exact(*formula, log, 10, 1e-3);
    exact.BuildCurvature();

    struct Line : CModelFunction {
        Line(const double* xs, const double* ys, const double* ws)
            : CModelFunction(xs, ys, ws, 5, 1e-4, 2) {
            m_pParams = {1.0, 1.0};
            m_pSteps = {1e-4, 1e-4};
        }
        double Value(double* p, double xv) const override { return p[0] + p[1] * xv; }
    } line(x.data(), y.data(), w.data());
    DFPowell differences(line, log, 10, 1e-3);
    differences.BuildCurvature();

    EXPECT_EQ(exact.F0(), differences.F0());
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(exact.Alpha()[i], differences.Alpha()[i], 1e-6) << i;
    }
    // Forward differences of chi-square lean by half a step's curvature;
    // the exact half gradient does not.
    for (int i = 0; i < 2; ++i) {
        const double lean = 0.5 * 1e-4 * exact.Alpha()[i * 3];
        EXPECT_NEAR(exact.Beta()[i] - lean, differences.Beta()[i], 1e-6) << i;
    }
}

TEST(FormulaFit, EveryMethodReachesTheCatalogueLogisticFromTheDirectiveStart) {
    const std::vector<std::string> lines = LogisticLines({"<a[0] = 9>", "<<a[1] = 2.5>>"});
    FormulaRun formula(kLogisticFormula, FitMethod::All);
    formula.Go(lines);
    ComputeSession catalogue;
    catalogue.settings.modelId = kLogisticId;
    RecordingHost host;
    const ComputeRecord reference = ComputeParameters(lines, catalogue, host, nullptr, 1);
    const FitRecord& target = reference.sets.at(0).fits.at(0);

    const std::string text = formula.Text();
    EXPECT_EQ(text.rfind("Model function: Y = A0/(1+A1*exp(-A2*X)); formula\n\n", 0), 0U);
    EXPECT_NE(text.find("A2 starts at 1 (no initial value given).\n"), std::string::npos);
    const auto& fits = formula.record.sets.at(0).fits;
    ASSERT_EQ(fits.size(), 4U);
    for (const FitRecord& fit : fits) {
        ASSERT_EQ(fit.outcome, FitOutcome::Converged) << fit.method;
        for (std::size_t i = 0; i < 3; ++i) {
            // Gradient search stops furthest from the minimum.
            EXPECT_NEAR(fit.parameters[i], target.parameters[i],
                        0.05 * std::fabs(target.parameters[i]))
                << fit.method << " A" << i;
        }
    }
    // The directive values are the start of every method, not only of the first.
    std::size_t starts = 0;
    for (std::size_t at = text.find("<a[  0] = 9>\n<a[  1] = 2.5>\n<a[  2] = 1>\n");
         at != std::string::npos; at = text.find("<a[  0] = 9>", at + 1)) {
        ++starts;
    }
    EXPECT_EQ(starts, 4U);
}

TEST(FormulaFit, AParameterThatDoesNotOccurIsSaidAndLeavesTheCurvatureSingular) {
    FormulaRun run("A0 + A2*X", FitMethod::Marquardt);
    run.Go({"// line", "0 1", "1 3", "2 5.1", "3 6.9"});
    EXPECT_NE(run.Text().find("A0, A2 start at 1 (no initial value given); A1 does not occur in "
                              "the formula.\n"),
              std::string::npos);
    EXPECT_EQ(run.record.sets.at(0).fits.at(0).outcome, FitOutcome::Singular);
}

TEST(FormulaFit, PointsOutsideTheDomainEndInAnOutcomeNotACrash) {
    // log of a negative argument at every start; sqrt turns negative on the way.
    const char* formulas[] = {"A0*log(X - A1 - 10)", "sqrt(A0 - X)*A1", "A0/(X - A1)"};
    for (const char* formula : formulas) {
        for (const FitMethod method : kMinimisationMethods) {
            FormulaRun run(formula, method);
            run.session.settings.convergence.n_cut = 200;
            run.Go({"// set", "0 1", "1 2", "2 2.5", "3 2.7", "4 3"});
            ASSERT_EQ(run.record.sets.size(), 1U) << formula;
            ASSERT_EQ(run.record.sets[0].fits.size(), 1U) << formula;
            EXPECT_FALSE(run.record.sets[0].fits[0].message.empty()) << formula;
        }
    }
}

TEST(FormulaFit, ColumnsAndTableAreNamedAsForACatalogueModel) {
    FormulaRun run(kLogisticFormula, FitMethod::Marquardt);
    run.session.settings.output.enabled = true;
    std::vector<std::string> lines =
        LogisticLines({"<<a[0] = 9>>", "<<a[1] = 2.5>>", "<<a[2] = 1>>"});
    const std::vector<std::string> second = LogisticLines();
    lines.insert(lines.end(), second.begin(), second.end());
    run.Go(lines);
    std::vector<std::string> names = run.host.ColumnNames();
    const std::vector<std::string> expected{"a_1_Marq", "x_1_Marq", "y_1_Marq", "a_2_Marq",
                                            "x_2_Marq", "y_2_Marq", "No.",      "A0",
                                            "No.",      "A1",       "No.",      "A2"};
    EXPECT_EQ(names, expected);
}

TEST(FormulaFit, SeveralThreadsGiveTheSameReport) {
    std::vector<std::string> lines;
    for (int set = 0; set < 6; ++set) {
        const std::vector<std::string> more = LogisticLines({"<a[0] = 9>", "<a[1] = 2>"});
        lines.insert(lines.end(), more.begin(), more.end());
    }
    FormulaRun one(kLogisticFormula, FitMethod::All, 1);
    one.Go(lines);
    FormulaRun three(kLogisticFormula, FitMethod::All, 3);
    three.Go(lines);
    EXPECT_EQ(one.Text(), three.Text());
    EXPECT_EQ(one.record.sets.size(), 6U);
}

}  // namespace
}  // namespace quillon
