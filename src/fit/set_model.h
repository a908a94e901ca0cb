// The model object of a set as the fits build it: the settings' formula or
// catalogue model on the set's arrays, and the second stage of a staged model.
#pragma once

#include <memory>
#include <vector>

#include "models/model_function.h"
#include "records/records.h"

namespace quillon {

// The model of the settings: the formula's, or the catalogue id's.
std::unique_ptr<CModelFunction> BuildModel(const FitSettings& settings, const double* x,
                                           const double* y, const double* w, int n, double er);

// The second stage of a staged model (the asymmetric sine after the biased
// sine), whose first parameters continue from the first stage. Its saved
// state is taken after that, so every method of an ALL run starts from the
// same point.
std::unique_ptr<CModelFunction> BuildSecondStage(int modelId, CModelFunction& first,
                                                 const double* x, const double* y, const double* w,
                                                 int n, double er);

// The model a set's methods ran on, estimated from the data (its steps are
// the estimate's) and at its last stage; null for flat data or no memory.
std::unique_ptr<CModelFunction> BuildEstimatedModel(const FitSettings& settings, const double* x,
                                                    const double* y, const double* w, int n);

// The weighted residuals (f - y) w of the model at p into r, and their sum of
// squares, as the fit workspace forms them; p may be normalised in place.
double ModelChiSquare(CModelFunction& model, double* p, std::vector<double>& r);

}  // namespace quillon
