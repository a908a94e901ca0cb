#include "models/model_registry.h"

#include <array>
#include <new>
#include <optional>
#include <type_traits>

#include "models/kestrel_dune_models.h"
#include "models/logistic_models.h"
#include "models/peak_models.h"
#include "models/period_sine_models.h"
#include "models/power_models.h"
#include "models/saturation_models.h"
#include "models/sawtooth_models.h"
#include "models/sine_models.h"

namespace quillon {
namespace {

// Builds a model with the entry's parameter count; a model family whose
// forms differ in it (the Gaussians) knows the count of each form itself.
template <class Model, int m>
std::unique_ptr<CModelFunction> Build(const ModelData& d) {
    if constexpr (std::is_constructible_v<Model, const double*, const double*, const double*, int,
                                          double, int>) {
        return std::make_unique<Model>(d.x, d.y, d.w, d.n, d.er, m);
    } else {
        return std::make_unique<Model>(d.x, d.y, d.w, d.n, d.er);
    }
}

// The Kestrel-Dune models: 4 parameters with a free phase C, 3 with the
// user's fixed C.
template <KDSmoothing smoothing, bool fixedC>
std::unique_ptr<CModelFunction> BuildKestrelDune(const ModelData& d) {
    const std::optional<double> phase =
        fixedC ? std::optional<double>(d.fixedCRadians) : std::nullopt;
    return std::make_unique<CKestrelDuneModel>(d.x, d.y, d.w, d.n, d.er, smoothing, phase);
}

// A model pre-fits when its class has a pre-fit of its own.
template <class Model>
constexpr bool kHasPreFit =
    !std::is_same_v<decltype(&Model::PreFit), decltype(&CModelFunction::PreFit)>;

constexpr ModelEntry ClosedFormModel(std::string_view display, int m, ClosedForm form) {
    return {.display = display, .paramCount = m, .closedForm = form};
}

template <class Model, int m>
constexpr ModelEntry Nonlinear(std::string_view display) {
    return {.display = display,
            .paramCount = m,
            .build = &Build<Model, m>,
            .preFit = kHasPreFit<Model>};
}

template <KDSmoothing smoothing>
constexpr ModelEntry KestrelDune(std::string_view display) {
    return {.display = display, .paramCount = 4, .build = &BuildKestrelDune<smoothing, false>};
}

template <KDSmoothing smoothing>
constexpr ModelEntry KestrelDuneFixedC(std::string_view display) {
    return {.display = display,
            .paramCount = 3,
            .build = &BuildKestrelDune<smoothing, true>,
            .fixedC = true};
}

constexpr ModelEntry WithWaveReport(ModelEntry entry) {
    entry.waveReport = true;
    return entry;
}

constexpr ModelEntry WithSine(SineLayout sine, ModelEntry entry) {
    entry.sine = sine;
    return entry;
}

template <class SecondStage, int m>
constexpr ModelEntry Staged(ModelEntry first) {
    first.secondStage = &Build<SecondStage, m>;
    first.secondStageParamCount = m;
    return first;
}

// Model id = position.
constexpr std::array<ModelEntry, kModelCount> kRegistry{
    ClosedFormModel(" a + b*X; linear", 2, ClosedForm::Line),
    WithSine({.form = SineForm::Shift},
             Nonlinear<CSineShiftModel, 3>(" A0*sin(A1*(X + A2)); sine")),
    WithSine({.form = SineForm::Shift, .offset = 3},
             Nonlinear<CSineShiftBiasedModel, 4>(" A0*sin(A1*(X + A2)) + A3; sine biased")),
    KestrelDune<KDSmoothing::None>(" A0*KD(A1, X + A2, A3); Kestrel-Dune"),
    KestrelDuneFixedC<KDSmoothing::None>(" A0*KD(A1, X + A2, C); Kestrel-Dune, C: fixed"),
    KestrelDune<KDSmoothing::FivePoints>(" Smoothed KD, 5 points"),
    KestrelDuneFixedC<KDSmoothing::FivePoints>(" Smoothed KD, 5 points; C: fixed"),
    KestrelDune<KDSmoothing::SevenPoints>(" Smoothed KD, 7 points"),
    KestrelDuneFixedC<KDSmoothing::SevenPoints>(" Smoothed KD, 7 points; C: fixed"),
    WithSine({.form = SineForm::Phase}, Nonlinear<CSineModel, 3>(" A0*sin(A1*X + A2); sine")),
    WithSine({.form = SineForm::Phase, .offset = 3},
             Nonlinear<CSineBiasedModel, 4>(" A0*sin(A1*X + A2) + A3; sine biased")),
    WithSine({.form = SineForm::Period},
             Nonlinear<CSinePeriodModel, 3>(" A0*sin(2*PI*(X + A2)/A1); sine")),
    WithSine({.form = SineForm::Period, .offset = 3},
             WithWaveReport(Nonlinear<CSinePeriodBiasedModel, 4>(
                 " A0*sin(2*PI*(X + A2)/ A1) + A3; sine biased"))),
    WithSine(
        {.form = SineForm::Period, .decay = 3, .onset = 4},
        Nonlinear<CDampedAfterModel, 5>(" A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4); damped after A3")),
    WithSine({.form = SineForm::Period, .decay = 3, .onset = 4, .offset = 5},
             Nonlinear<CDampedAfterBiasedModel, 6>(
                 " A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4) + A5; damped after A3, biased")),
    WithSine({.form = SineForm::Period, .decay = 3, .onset = 4, .offset = 5, .slope = 6},
             Nonlinear<CDampedAfterSlopeModel, 7>(
                 " A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4) + A5 +A6*X; damped after A3, biased_1")),
    WithSine({.form = SineForm::Shift, .decay = 3},
             Nonlinear<CDampedSineModel, 4>(" A0*sin(A1*(X + A2))*EXP(-X/A3); damped sine")),
    WithSine({.form = SineForm::Shift, .decay = 3, .offset = 4},
             Nonlinear<CDampedSineBiasedModel, 5>(
                 " A0*sin(A1*(X + A2))*EXP(-X/A3) + A4; damped sine biased")),
    WithSine({.form = SineForm::Shift, .decay = 3, .offset = 4, .slope = 5},
             Nonlinear<CDampedSineSlopeModel, 6>(
                 " A0*sin(A1*(X + A2))*EXP(-X/A3) + A4 +A5*X; damped sine biased_1")),
    Nonlinear<CSawtoothModel, 5>(" Sawtooth wave"),
    Nonlinear<CSawtoothSinusoidalModel, 5>(" Sawtooth wave, sinusoidal"),
    Nonlinear<CMichaelisMentenModel, 2>(" A0 / (1 + A1 / X); Michaelis-Menten"),
    Nonlinear<CLogisticModel, 3>(" A0 / (1 + A1 * exp(-A2 * X) ); Logistic"),
    Nonlinear<CHill2Model, 2>(" A0 / (1 + A1 / X^2); Hill n=2, dimer"),
    Nonlinear<CHill3Model, 2>(" A0 / (1 + A1 / X^3); Hill n=3, trimer"),
    Nonlinear<CHill4Model, 2>(" A0 / (1 + A1 / X^4); Hill n=4, tetramer"),
    Nonlinear<CHill5Model, 2>(" A0 / (1 + A1 / X^5); Hill n=5, pentamer"),
    Nonlinear<CHill6Model, 2>(" A0 / (1 + A1 / X^6); Hill n=6, hexamer"),
    ClosedFormModel(" b*X; linear, passing through the point (0,0), a=0.0", 1,
                    ClosedForm::ThroughOrigin),
    Nonlinear<CGaussianModel, 3>(" A0*exp( -0.5*((X-A1)/A2)~2 ); Gaussian"),
    Nonlinear<CGaussianPeakModel, 3>(" A0*exp( -0.5*((X-A1)/A2)~2 ); Gaussian, Peak"),
    Nonlinear<CAsymGaussianModel, 4>(" A0*exp( -0.5*((X-A1)/(A2 or A3)~2 ); Gaussian, Asymmetric"),
    Nonlinear<CAsymGaussianPeakModel, 4>(
        " A0*exp( -0.5*((X-A1)/(A2 or A3)~2 ); Gaussian, Asymmetric, Peak"),
    Nonlinear<CWilliamsBeensModel, 4>(
        " A0*( (X/A1)~(A2 or A3) ); Williams and Beens, Peak, Asymmetric"),
    Nonlinear<CBiasedPowerModel, 3>(" A0 + A1 * X^A2; Biased Power"),
    WithSine({.form = SineForm::Period, .offset = 3},
             Staged<CAsymmetricSineModel, 5>(Nonlinear<CSinePeriodBiasedModel, 4>(
                 " A0*sin(2*PI*(X + A2)/ A1) + A3; sine biased with asymmetry A4"))),
    Nonlinear<CLogisticY0Model, 2>(
        " (A0 * Y0) / (Y0 + (A0 - Y0) * exp(-A1 * X) ); Logistic with Y0 fixed."),
    Nonlinear<CLogisticGrowthModel, 3>(
        "  A0*A1*exp( A2 * X ) / (A0 + A1 * (exp(A2 * X) - 1) ); Logistic "
        "https://en.wikipedia.org/wiki/Logistic_function"),
    Nonlinear<CSigmoidModel, 4>("  A0 / (A1 + exp( A2 - X ) ) + A3; Sigmoid curve, biased"),
    Nonlinear<CSigmoidScaledModel, 5>(
        "  A0 / (A1 + exp( (A2 - X)/A4 ) ) + A3; Sigmoid curve, biased, scaled"),
    Nonlinear<CHill2BiasedModel, 4>(" A0 / (1 + A1 / (X - A2)^2) + A3; Hill n=2, dimer, baised"),
    WithSine({.form = SineForm::Period, .offset = 3, .slope = 4},
             Nonlinear<CSinePeriodLinearModel, 5>(
                 " A0*sin(2*PI*(X + A2)/ A1) + A3 + A4*X; sine biased, linear")),
    Nonlinear<CExponentialModel, 2>(" A0*exp(X/ A1); exponential with length constant A1"),
};

}  // namespace

std::span<const ModelEntry> ModelRegistry() {
    return kRegistry;
}

const ModelEntry* FindModel(int modelId) {
    if (modelId < 0 || static_cast<std::size_t>(modelId) >= kRegistry.size()) {
        return nullptr;
    }
    return &kRegistry[static_cast<std::size_t>(modelId)];
}

}  // namespace quillon
