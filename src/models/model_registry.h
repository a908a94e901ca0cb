// The model registry: everything the program knows about each catalogue
// model, in one entry per id: its display string, how many parameters it
// fits, how it is built, and how the fit, the report and the window treat it.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "models/model_function.h"

namespace quillon {

inline constexpr int kModelCount = 43;

// What a model object is built on: the caller's arrays x, y and w (n long,
// kept by the caller for the model's life), the relative step er and, for
// the models with a fixed phase, C in radians.
struct ModelData {
    const double* x = nullptr;
    const double* y = nullptr;
    const double* w = nullptr;
    int n = 0;
    double er = 0.0;
    double fixedCRadians = 0.0;
};

using ModelBuilder = std::unique_ptr<CModelFunction> (*)(const ModelData& data);

// The two models solved in closed form, and the rest.
enum class ClosedForm { None, Line, ThroughOrigin };

// How a periodic model writes its sine, for the period scan of the start
// search: A0*sin(A1*(X + A2)), A0*sin(A1*X + A2) or A0*sin(2*PI*(X + A2)/A1);
// and which parameters are its decay length, the onset of its damping, its
// offset and its slope (-1: the model has none).
enum class SineForm { None, Shift, Phase, Period };

struct SineLayout {
    SineForm form = SineForm::None;
    int decay = -1;
    int onset = -1;
    int offset = -1;
    int slope = -1;
};

struct ModelEntry {
    std::string_view display;      // begins with a blank
    int paramCount = 0;            // for a staged model, its first stage's
    ModelBuilder build = nullptr;  // null for the closed-form models
    ClosedForm closedForm = ClosedForm::None;
    bool fixedC = false;      // built with the user's fixed phase C
    bool preFit = false;      // runs a Marquardt pre-fit before the methods
    bool waveReport = false;  // a compute adds the wave report after its table
    // A staged model is fitted as its first stage, then as this model, which
    // continues from the first stage's parameters.
    ModelBuilder secondStage = nullptr;
    int secondStageParamCount = 0;
    SineLayout sine{};  // SineForm::None for the models without a plain sine
};

// Every entry, in id order (the id is the position).
std::span<const ModelEntry> ModelRegistry();

// The entry of a model id; null outside the catalogue.
const ModelEntry* FindModel(int modelId);

}  // namespace quillon
