#include "fit/result_columns.h"

#include "records/number_format.h"

namespace quillon {
namespace {

std::vector<double> ParameterColumn(const FittedSet& set) {
    std::vector<double> values(set.parameters.begin(), set.parameters.end());
    values.push_back(set.chisqDof);
    values.push_back(static_cast<double>(set.dof));
    values.push_back(static_cast<double>(set.points));
    return values;
}

void AppendCurveColumns(const OutputSettings& output, const FittedSet& set,
                        ResultColumnList& fileColumns) {
    std::optional<std::vector<double>> xs = SampleCurveX(output, set.curve.xRange());
    if (!xs) {
        return;
    }
    std::vector<double> ys;
    ys.reserve(xs->size());
    for (double x : *xs) {
        ys.push_back(set.curve.value(x));
    }
    const std::size_t count = xs->size();
    fileColumns.push_back({set.names.curveX, std::move(*xs)});
    fileColumns.push_back({set.names.curveY, std::move(ys)});
    if (set.band != nullptr && set.band->lower.size() == count) {
        fileColumns.push_back({set.names.curveY + "_lo", set.band->lower});
        fileColumns.push_back({set.names.curveY + "_hi", set.band->upper});
    }
}

}  // namespace

std::optional<std::vector<double>> CurveColumnX(const FitSettings& settings,
                                                const FittedCurve& curve) {
    return SampleCurveX(settings.output, curve.xRange());
}

SetColumnNames LinearColumnNames(int setNumber) {
    return {Sprintf("Linear_%d", setNumber), Sprintf("Param_%d", setNumber),
            Sprintf("x_%d", setNumber), Sprintf("y_%d", setNumber)};
}

SetColumnNames NonlinearColumnNames(const std::string& statusMark, int setNumber,
                                    const std::string& methodMark) {
    const std::string parameters = Sprintf("%sa_%d%s", statusMark, setNumber, methodMark);
    return {parameters, parameters, Sprintf("%sx_%d%s", statusMark, setNumber, methodMark),
            Sprintf("%sy_%d%s", statusMark, setNumber, methodMark)};
}

void AppendSetColumns(const FitSettings& settings, const FittedSet& set,
                      ResultColumnList& fileColumns, ResultColumnList& tableColumns) {
    const OutputSettings& output = settings.output;
    if (output.paramTable && settings.method != FitMethod::All) {
        tableColumns.push_back({set.names.table, {set.parameters.begin(), set.parameters.end()}});
    }
    if (output.contents != ResultContents::Curve) {
        fileColumns.push_back({set.names.parameters, ParameterColumn(set)});
    }
    if (output.contents != ResultContents::Parameters) {
        AppendCurveColumns(output, set, fileColumns);
    }
}

}  // namespace quillon
