// Builds the model object of a catalogue id from its registry entry.
#pragma once

#include <memory>

#include "models/model_function.h"

namespace quillon {

// The fixed phase C of the fixed-C models in radians, from the document's degrees.
double FixedCRadians(double fixedCDegrees);

// The model of a nonlinear id on the caller's arrays x, y and w (n long,
// kept by the caller for the model's life), with the relative step er;
// fixedCRadians is used by the fixed-C models only. Any id without a model
// of its own builds the sine of id 9. A staged id builds its first stage.
// Null when the memory for the model cannot be obtained.
std::unique_ptr<CModelFunction> CreateModel(int modelId, const double* x, const double* y,
                                            const double* w, int n, double er,
                                            double fixedCRadians);

// The second stage of a staged id (the asymmetric sine of id 35, five
// parameters). Null for any other id, or when the memory for the model
// cannot be obtained.
std::unique_ptr<CModelFunction> CreateSecondStage(int modelId, const double* x, const double* y,
                                                  const double* w, int n, double er);

}  // namespace quillon
