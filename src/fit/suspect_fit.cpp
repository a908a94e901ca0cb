#include "fit/suspect_fit.h"

#include <cmath>

#include "records/number_format.h"

namespace quillon {
namespace {

// The search found a far better minimum when the estimate's end is this
// many times its chi-square.
constexpr double kFarBetter = 1.25;

bool HasParameterBlock(FitOutcome outcome) {
    return outcome == FitOutcome::Converged || outcome == FitOutcome::IterationLimit;
}

}  // namespace

std::string SuspectNote(const FitRecord& record, bool weighted, double chisqDofLimit,
                        const StartSearchResult* search) {
    if (!HasParameterBlock(record.outcome)) {
        return {};
    }
    if (record.outcome == FitOutcome::Converged && weighted && record.chisqDof &&
        *record.chisqDof > chisqDofLimit) {
        return Sprintf(
            "Suspect fit: chi-square per degree of freedom %lg is above %lg for data with "
            "standard deviations.\n",
            *record.chisqDof, chisqDofLimit);
    }
    if (search != nullptr && search->found &&
        search->estimateChiSquare > kFarBetter * search->bestChiSquare) {
        return Sprintf(
            "Suspect fit: from the estimate it ends at chi-square %lg, from the searched start "
            "at %lg; without the search it may end in another minimum.\n",
            search->estimateChiSquare, search->bestChiSquare);
    }
    return {};
}

}  // namespace quillon
