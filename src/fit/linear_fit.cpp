#include "fit/linear_fit.h"

#include <algorithm>
#include <cmath>

#include "fit/confidence_band.h"
#include "fit/parameter_stats.h"
#include "fit/result_columns.h"
#include "records/number_format.h"

namespace quillon {
namespace {

constexpr const char* kAbnormalData = "Abnormal data!!\n";

struct LinearSolution {
    double a = 0.0;
    double aSig = 0.0;
    double b = 0.0;
    double bSig = 0.0;
    double chisqDof = 0.0;
    double sigmaY = 0.0;
    int dof = 0;
    // (XᵀWX)⁻¹ of the parameters (a, b or b alone) and the factor that makes
    // it their covariance: 1 with known SDs, chi-square per degree of
    // freedom otherwise.
    std::vector<double> inverse;
    double covarianceScale = 1.0;
};

// The sorted X of the set: X(0), X(1) and Xmax come from it.
std::vector<double> SortedX(const std::vector<DataPoint>& points) {
    std::vector<double> xs;
    xs.reserve(points.size());
    for (const DataPoint& p : points) {
        xs.push_back(p.X);
    }
    std::sort(xs.begin(), xs.end());
    return xs;
}

double Weight(const DataPoint& p, bool weighted) {
    return weighted ? 1.0 / (p.SD * p.SD) : 1.0;
}

// Residual sum of squares, never divided by SD, whatever the weighting.
double ResidualSum(const std::vector<DataPoint>& points, double a, double b) {
    double r = 0.0;
    for (const DataPoint& p : points) {
        const double d = p.Y - a - b * p.X;
        r += d * d;
    }
    return r;
}

std::optional<LinearSolution> SolveAB(const std::vector<DataPoint>& points, bool weighted) {
    double s = 0.0, sx = 0.0, sxx = 0.0, sy = 0.0, sxy = 0.0;
    for (const DataPoint& p : points) {
        const double w = Weight(p, weighted);
        s += w;
        sx += w * p.X;
        sxx += w * p.X * p.X;
        sy += w * p.Y;
        sxy += w * p.X * p.Y;
    }
    const int n = static_cast<int>(points.size());
    const double d = sxx * s - sx * sx;
    if (d == 0.0 || std::isnan(d) || n < 3) {
        return std::nullopt;
    }
    const double f = 1.0 / d;
    LinearSolution sol;
    sol.a = (sy * sxx - sxy * sx) * f;
    sol.b = (sxy * s - sy * sx) * f;
    sol.dof = n - 2;
    sol.chisqDof = ResidualSum(points, sol.a, sol.b) / (n - 2);
    sol.sigmaY = std::sqrt(sol.chisqDof);
    sol.inverse = {f * sxx, -f * sx, -f * sx, f * s};
    sol.covarianceScale = weighted ? 1.0 : sol.chisqDof;
    if (weighted) {
        sol.aSig = std::sqrt(f * sxx);
        sol.bSig = std::sqrt(f * s);
    } else {
        sol.aSig = std::sqrt(f * sxx) * sol.sigmaY;
        sol.bSig = std::sqrt(f * n) * sol.sigmaY;
    }
    return sol;
}

std::optional<LinearSolution> SolveThroughOrigin(const std::vector<DataPoint>& points,
                                                 bool weighted) {
    const int n = static_cast<int>(points.size());
    LinearSolution sol;
    double unweightedSxx = 0.0;
    if (weighted) {
        double s = 0.0, sxx = 0.0, sxy = 0.0;
        for (const DataPoint& p : points) {
            const double w = Weight(p, true);
            s += w;
            sxx += w * p.X * p.X;
            sxy += w * p.X * p.Y;
        }
        const double d = sxx * s;
        if (d == 0.0 || std::isnan(d) || n < 2) {
            return std::nullopt;
        }
        const double f = 1.0 / d;
        sol.b = f * sxy * s;
        sol.bSig = std::sqrt(f * s);
        sol.inverse = {f * s};
    } else {
        double sxy = 0.0;
        for (const DataPoint& p : points) {
            unweightedSxx += p.X * p.X;
            sxy += p.X * p.Y;
        }
        if (unweightedSxx == 0.0 || std::isnan(unweightedSxx) || n < 2) {
            return std::nullopt;
        }
        sol.b = (1.0 / unweightedSxx) * sxy;
    }
    sol.dof = n - 1;
    sol.chisqDof = ResidualSum(points, 0.0, sol.b) / (n - 1);
    sol.sigmaY = std::sqrt(sol.chisqDof);
    if (!weighted) {
        sol.bSig = std::sqrt(1.0 / unweightedSxx) * sol.sigmaY;
        sol.inverse = {1.0 / unweightedSxx};
        sol.covarianceScale = sol.chisqDof;
    }
    return sol;
}

// The fitted line; the curve's spacing step takes the two smallest X.
FittedCurve LineCurve(const std::vector<DataPoint>& points, const LinearSolution& sol) {
    return {[&points] {
                const std::vector<double> xs = SortedX(points);
                return CurveXRange{xs.front(), xs.back(), xs[0], xs.size() > 1 ? xs[1] : xs[0]};
            },
            [&sol](double x) { return sol.a + sol.b * x; }};
}

// The set's columns, with the band's when the record has one. The parameter
// column shows n - 1 as the degrees of freedom for both lines.
void AppendLinearColumns(const std::vector<DataPoint>& points, const LinearSolution& sol,
                         int setNumber, const FitRecord& record, const LinearFitContext& context) {
    if (!context.settings.output.enabled) {
        return;
    }
    const int n = static_cast<int>(points.size());
    const double parameters[] = {sol.a, sol.b};
    FittedSet set;
    set.names = LinearColumnNames(setNumber);
    set.parameters = parameters;
    set.chisqDof = sol.chisqDof;
    set.dof = n - 1;
    set.points = n;
    set.curve = LineCurve(points, sol);
    set.band = record.band ? &*record.band : nullptr;
    AppendSetColumns(context.settings, set, context.fileColumns, context.tableColumns);
}

// The line's confidence band on the result file's curve X, when one is
// asked for; throughOrigin: the covariance is the slope's alone.
std::optional<CurveBand> LineBand(const std::vector<DataPoint>& points, const LinearSolution& sol,
                                  const FitRecord& record, bool weighted, bool throughOrigin,
                                  const FitSettings& settings) {
    if (!settings.bandLevel) {
        return std::nullopt;
    }
    const std::optional<std::vector<double>> xs = CurveColumnX(settings, LineCurve(points, sol));
    if (!xs) {
        return std::nullopt;
    }
    const CurveJacobian jacobian =
        throughOrigin ? OriginJacobian(sol.b, *xs) : LineJacobian(sol.a, sol.b, *xs);
    return FitBand(record, weighted, *settings.bandLevel, *xs, jacobian);
}

FitRecord Failure(int n, int dof, const LinearFitContext& context) {
    context.host.SendAnswer(AnswerHint::Error, kAbnormalData);
    FitRecord record;
    record.method = "linear";
    record.outcome = FitOutcome::NotConverged;
    record.message = kAbnormalData;
    record.dof = dof;
    record.points = n;
    return record;
}

// The statistics of a solved line. The residuals are weighed as the fit
// weighed them: by 1/SD when the SDs are used, equally otherwise.
FitStatistics LinearStatistics(const std::vector<DataPoint>& points, const LinearSolution& sol,
                               const std::vector<double>& parameters,
                               const std::vector<double>& errors, bool weighted) {
    std::vector<double> y;
    std::vector<double> w;
    double chiSquare = 0.0;
    for (const DataPoint& p : points) {
        const double wi = weighted ? 1.0 / p.SD : 1.0;
        const double r = (p.Y - sol.a - sol.b * p.X) * wi;
        chiSquare += r * r;
        y.push_back(p.Y);
        w.push_back(wi);
    }
    StatisticsInput input;
    input.parameters = parameters;
    input.errors = errors;
    input.inverseCurvature = sol.inverse;
    input.covarianceScale = sol.covarianceScale;
    input.chiSquare = chiSquare;
    input.totalSquares = WeightedTotalSumOfSquares(y, w);
    input.points = static_cast<int>(points.size());
    input.dof = sol.dof;
    input.knownSd = weighted;
    return ComputeFitStatistics(input);
}

// Sends the result block, followed by the statistics block when it is
// switched on.
void SendResult(const std::string& text, const FitRecord& record,
                const std::vector<std::string>& names, const LinearFitContext& context) {
    if (context.settings.statistics && record.statistics) {
        context.host.SendAnswer(AnswerHint::Result,
                                text + StatisticsBlock(*record.statistics, names));
    } else {
        context.host.SendAnswer(AnswerHint::Result, text);
    }
}

FitRecord Success(int n, const LinearSolution& sol, std::string text) {
    FitRecord record;
    record.method = "linear";
    record.outcome = FitOutcome::Converged;
    record.message = std::move(text);
    record.parameters = {sol.a, sol.b};
    record.errors = {sol.aSig, sol.bSig};
    record.chisqDof = sol.chisqDof;
    record.sigmaY = sol.sigmaY;
    record.dof = sol.dof;
    record.points = n;
    return record;
}

}  // namespace

FitRecord LinearFitAB(const std::vector<DataPoint>& points, bool weighted, int setNumber,
                      const LinearFitContext& context) {
    const int n = static_cast<int>(points.size());
    const auto sol = SolveAB(points, weighted);
    if (!sol) {
        return Failure(n, n - 2, context);
    }
    std::string text = Sprintf(
        "  a +/- a_sig = %lg +/- %lg \n  b +/- b_sig = %lg +/- %lg \n  Chi-square per degree of "
        "freedom: %lg\n  Sigma for y  = %lg\n  Degree of freedom: %d\n  Number of points: %d\n\n",
        sol->a, sol->aSig, sol->b, sol->bSig, sol->chisqDof, sol->sigmaY, n - 2, n);
    FitRecord record = Success(n, *sol, text);
    record.statistics = LinearStatistics(points, *sol, record.parameters, record.errors, weighted);
    record.band = LineBand(points, *sol, record, weighted, false, context.settings);
    SendResult(text, record, {"a", "b"}, context);
    AppendLinearColumns(points, *sol, setNumber, record, context);
    return record;
}

FitRecord LinearFitThroughOrigin(const std::vector<DataPoint>& points, bool weighted, int setNumber,
                                 const LinearFitContext& context) {
    const int n = static_cast<int>(points.size());
    const auto sol = SolveThroughOrigin(points, weighted);
    if (!sol) {
        return Failure(n, n - 1, context);
    }
    // The slope is printed under the name "a", without leading blanks.
    std::string text = Sprintf(
        "a +/- a_sig = %lg +/- %lg \n  Chi-square per degree of freedom: %lg\n  Sigma for y  = "
        "%lg\n  Degree of freedom: %d\n  Number of points: %d\n\n",
        sol->b, sol->bSig, sol->chisqDof, sol->sigmaY, n - 1, n);
    FitRecord record = Success(n, *sol, text);
    // The record holds a and b (a = 0); the statistics concern the slope only.
    const std::vector<double> slope{sol->b};
    const std::vector<double> slopeError{sol->bSig};
    record.statistics = LinearStatistics(points, *sol, slope, slopeError, weighted);
    record.band = LineBand(points, *sol, record, weighted, true, context.settings);
    SendResult(text, record, {"a"}, context);
    AppendLinearColumns(points, *sol, setNumber, record, context);
    return record;
}

}  // namespace quillon
