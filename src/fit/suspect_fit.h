// The flag on a fit that looks wrong: a converged fit of data with standard
// deviations whose chi-square per degree of freedom is far above one, or a
// fit whose start search found a far better minimum than the estimate.
#pragma once

#include <string>

#include "fit/start_search.h"
#include "records/records.h"

namespace quillon {

// The one-line note after the fit's parameter block, or "" when it does not
// look wrong. search is the fit's start search, null without one.
std::string SuspectNote(const FitRecord& record, bool weighted, double chisqDofLimit,
                        const StartSearchResult* search);

}  // namespace quillon
