#include "fit/suspect_fit.h"

#include <cmath>

#include "records/number_format.h"

namespace quillon {
namespace {

// The search found a far better minimum when the estimate's end is this
// many times its chi-square.
constexpr double kFarBetter = 1.25;

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
    // The fit's own chi-square: the search compares the estimate's end
    // with where this fit ended, not with its start.
    const double chiSquare = record.chisqDof ? *record.chisqDof * record.dof
                             : search        ? search->bestChiSquare
                                             : 0.0;
    if (search != nullptr && search->found && record.dof > 0 &&
        search->estimateChiSquare > kFarBetter * chiSquare) {
        return Sprintf(
            "Suspect fit: from the estimate alone it ends at chi-square %lg, here at %lg; "
            "without the search it ends in another minimum.\n",
            search->estimateChiSquare, chiSquare);
    }
    return {};
}

}  // namespace quillon
