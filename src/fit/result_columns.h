// The result columns of one fitted set, built alike for the linear and the
// nonlinear fits: the parameter-table column, the parameter column and the
// x and y columns of the fitted curve.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "fit/curve_sampling.h"
#include "records/records.h"

namespace quillon {

struct SetColumnNames {
    std::string table;       // the set's column of the parameter table
    std::string parameters;  // parameters, chi-square per dof, dof, points
    std::string curveX;
    std::string curveY;
};

// "Linear_<set>", "Param_<set>", "x_<set>", "y_<set>".
SetColumnNames LinearColumnNames(int setNumber);

// "<status>a_<set><method>" for the table and the parameters, and
// "<status>x_<set><method>", "<status>y_<set><method>" for the curve, from
// the status mark and the method mark.
SetColumnNames NonlinearColumnNames(const std::string& statusMark, int setNumber,
                                    const std::string& methodMark);

// The fitted curve: where the data's X lie (asked only when a curve is
// written) and the curve's value at x.
struct FittedCurve {
    std::function<CurveXRange()> xRange;
    std::function<double(double)> value;
};

// What a fitted set writes into its columns.
struct FittedSet {
    SetColumnNames names;
    std::span<const double> parameters;
    double chisqDof = 0.0;
    int dof = 0;  // as the parameter column shows it
    int points = 0;
    FittedCurve curve;
    // The curve's confidence band at the same X: written as "<y name>_lo"
    // and "<y name>_hi" right after the curve's columns.
    const CurveBand* band = nullptr;
};

// Appends the set's columns while the File switch is on: the table column
// when the table is on and the method is not ALL; the parameter column unless
// only the curve is asked for; the curve's x and y columns unless only the
// parameters are, and only when the output settings give abscissae; then
// the band's columns, when the set has a band of the curve's length.
void AppendSetColumns(const FitSettings& settings, const FittedSet& set,
                      ResultColumnList& fileColumns, ResultColumnList& tableColumns);

// The abscissae of the curve columns, from the output settings and the
// fitted points (the same X AppendSetColumns writes).
std::optional<std::vector<double>> CurveColumnX(const FitSettings& settings,
                                                const FittedCurve& curve);

}  // namespace quillon
