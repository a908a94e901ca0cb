// The two models solved in closed form: Y = a + b*X and Y = b*X.
#pragma once

#include <vector>

#include "records/host.h"
#include "records/records.h"

namespace quillon {

// What a fit of one set reads and writes besides its points.
struct LinearFitContext {
    const FitSettings& settings;
    IComputeHost& host;
    ResultColumnList& fileColumns;
    ResultColumnList& tableColumns;
};

// Fits Y = a + b*X; sends the result block (or "Abnormal data!!") to the
// answer pane and appends the set's columns while the File switch is on.
FitRecord LinearFitAB(const std::vector<DataPoint>& points, bool weighted, int setNumber,
                      const LinearFitContext& context);

// Fits Y = b*X in the same way.
FitRecord LinearFitThroughOrigin(const std::vector<DataPoint>& points, bool weighted, int setNumber,
                                 const LinearFitContext& context);

}  // namespace quillon
