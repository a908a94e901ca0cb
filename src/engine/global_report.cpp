#include "engine/global_report.h"

#include <cmath>

#include "fit/fit_nonlinear.h"
#include "records/number_format.h"

namespace quillon {
namespace {

std::string SharedLines(const GlobalFitRecord& record) {
    std::string text = "Shared parameters fit_aj +/- sigma_aj:\n";
    for (const SharedParameterRecord& shared : record.shared) {
        if (shared.atBound) {
            // No error of its own, as a single fit's parameter at a bound.
            AppendSprintf(text, "  a[%d]: %lf (at bound %lg)\n", shared.index, shared.value,
                          *shared.atBound);
            continue;
        }
        AppendSprintf(text, "  a[%d]: %lf +/- %lf%s\n", shared.index, shared.value, shared.error,
                      shared.fixed ? " (fixed)" : "");
    }
    return text;
}

// One row of the local table: the set's label, its local parameters with
// their errors and its own chi-square per degree of freedom.
std::string LocalRow(const GlobalSetRecord& set) {
    std::string row = Sprintf("  %s=%lg:", set.label.name, set.label.value);
    for (std::size_t j = 0; j < set.parameters.size(); ++j) {
        if (set.shared[j]) {
            continue;
        }
        if (j < set.atBound.size() && set.atBound[j]) {
            AppendSprintf(row, " a[%d] %lf (at bound %lg),", static_cast<int>(j), set.parameters[j],
                          *set.atBound[j]);
        } else {
            AppendSprintf(row, " a[%d] %lf +/- %lf,", static_cast<int>(j), set.parameters[j],
                          set.errors[j]);
        }
    }
    AppendSprintf(row, " chi2/dof %lf\n", set.chisqDof.value_or(std::nan("")));
    return row;
}

std::string LeftOutLine(const GlobalFitRecord& record) {
    if (record.leftOut.empty()) {
        return {};
    }
    std::string line = "Left out:";
    for (std::size_t i = 0; i < record.leftOut.size(); ++i) {
        AppendSprintf(line, "%s set %d (%s)", i == 0 ? "" : ",", record.leftOut[i].setNumber,
                      record.leftOut[i].reason);
    }
    return line + "\n";
}

bool HasParameters(const GlobalFitRecord& record) {
    return record.outcome == FitOutcome::Converged || record.outcome == FitOutcome::IterationLimit;
}

}  // namespace

std::string GlobalFitBlock(const GlobalFitRecord& record, int nCut, bool marquardtNote) {
    std::string text = "Global fit\n";
    if (marquardtNote) {
        text += "Method: Marquardt (the global fit always uses it)\n";
    }
    if (record.sets.empty() && record.shared.empty() && record.iterations == 0) {
        return text + "No set could take part.\n" + LeftOutLine(record) + "\n";
    }
    for (const std::string& note : record.startNotes) {
        text += note;
    }
    text += FitOutcomeMessage(record.outcome, nCut, record.lambda);
    AppendSprintf(text, "  Iterations: %d\n", record.iterations);
    if (HasParameters(record)) {
        text += SharedLines(record);
        text +=
            "Local parameters +/- sigma per set, with its own chi-square per degree of "
            "freedom:\n";
        for (const GlobalSetRecord& set : record.sets) {
            text += LocalRow(set);
        }
        AppendSprintf(text,
                      "  Chi-square: %lf\n  Degree of freedom: %d\n  Chi-square per degree of "
                      "freedom: %lf\n  Number of sets: %d\n  Number of points: %d\n",
                      record.chisq, record.dof, record.chisqDof.value_or(std::nan("")),
                      static_cast<int>(record.sets.size()), record.points);
    }
    return text + LeftOutLine(record) + "\n";
}

void AppendGlobalColumns(const GlobalFitRecord& record, ResultColumnList& fileColumns) {
    if (!HasParameters(record)) {
        return;
    }
    CResultColumn shared{"global_shared", {}};
    for (const SharedParameterRecord& p : record.shared) {
        shared.values.push_back(p.value);
        shared.values.push_back(p.error);
    }
    shared.values.push_back(record.chisq);
    shared.values.push_back(record.dof);
    shared.values.push_back(record.chisqDof.value_or(std::nan("")));
    fileColumns.push_back(std::move(shared));
    for (const GlobalSetRecord& set : record.sets) {
        CResultColumn column{Sprintf("global_a_%d", set.setNumber), set.parameters};
        column.values.insert(column.values.end(), set.errors.begin(), set.errors.end());
        column.values.push_back(set.chisqDof.value_or(std::nan("")));
        fileColumns.push_back(std::move(column));
    }
}

}  // namespace quillon
