// Builds the model object of a catalogue id.
#pragma once

#include <memory>

#include "models/model_function.h"

namespace quillon {

// The fixed phase C of ids 4, 6 and 8 in radians, from the document's degrees.
double FixedCRadians(double fixedCDegrees);

// The model of id 1..42 (not 28) on the caller's arrays x, y and w (n long,
// kept by the caller for the model's life), with the relative step er;
// fixedCRadians is used by ids 4, 6 and 8 only. Any other id builds the sine
// of id 9. Id 35 builds its first stage (CSinePeriodBiasedModel). Null when
// the memory for the model cannot be obtained.
std::unique_ptr<CModelFunction> CreateModel(int modelId, const double* x, const double* y,
                                            const double* w, int n, double er,
                                            double fixedCRadians);

// The second stage of id 35, CAsymmetricSineModel with 5 parameters. Null when
// the memory for the model cannot be obtained.
std::unique_ptr<CModelFunction> CreateAsymmetricSineStage(const double* x, const double* y,
                                                          const double* w, int n, double er);

}  // namespace quillon
