// The texts of the global fit: the "Global fit" block of the answer pane and
// the lines saying why a global fit was not run.
#pragma once

#include <string>

#include "records/records.h"

namespace quillon {

// The block after the last set: the outcome, the shared and each set's
// local parameters with their errors, the joint chi-square and the sets left
// out. marquardtNote adds the line saying the joint fit ran Marquardt.
std::string GlobalFitBlock(const GlobalFitRecord& record, int nCut, bool marquardtNote);

// Result columns of a global fit: "global_shared" (value and error of each
// shared parameter, then chi-square, degrees of freedom and chi-square per
// degree of freedom) and per set "global_a_<set>" (its parameters, then
// their errors, then its own chi-square per degree of freedom).
void AppendGlobalColumns(const GlobalFitRecord& record, ResultColumnList& fileColumns);

inline constexpr const char* kGlobalLinearText =
    "Global fit: the linear models are solved in closed form for each set; shared parameters "
    "are not fitted jointly.\n";
inline constexpr const char* kGlobalBoundedText =
    "Global fit: the sets give a shared parameter bounds that exclude each other; no global "
    "fit.\n";

}  // namespace quillon
