#include "models/catalogue.h"

#include <array>

#include "records/number_format.h"

namespace quillon {
namespace {

struct CatalogueEntry {
    std::string_view display;
    int paramCount;
};

// Model id = position. Id 35 is fitted in two stages (4, then 5 parameters);
// its entry gives the first stage's count.
constexpr std::array<CatalogueEntry, kModelCount> kCatalogue{{
    {" a + b*X; linear", 2},
    {" A0*sin(A1*(X + A2)); sine", 3},
    {" A0*sin(A1*(X + A2)) + A3; sine biased", 4},
    {" A0*KD(A1, X + A2, A3); Kestrel-Dune", 4},
    {" A0*KD(A1, X + A2, C); Kestrel-Dune, C: fixed", 3},
    {" Smoothed KD, 5 points", 4},
    {" Smoothed KD, 5 points; C: fixed", 3},
    {" Smoothed KD, 7 points", 4},
    {" Smoothed KD, 7 points; C: fixed", 3},
    {" A0*sin(A1*X + A2); sine", 3},
    {" A0*sin(A1*X + A2) + A3; sine biased", 4},
    {" A0*sin(2*PI*(X + A2)/A1); sine", 3},
    {" A0*sin(2*PI*(X + A2)/ A1) + A3; sine biased", 4},
    {" A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4); damped after A3", 5},
    {" A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4) + A5; damped after A3, biased", 6},
    {" A0*sin(2*PI*(X + A2)/A1)*EXP(-X/A4) + A5 +A6*X; damped after A3, biased_1", 7},
    {" A0*sin(A1*(X + A2))*EXP(-X/A3); damped sine", 4},
    {" A0*sin(A1*(X + A2))*EXP(-X/A3) + A4; damped sine biased", 5},
    {" A0*sin(A1*(X + A2))*EXP(-X/A3) + A4 +A5*X; damped sine biased_1", 6},
    {" Sawtooth wave", 5},
    {" Sawtooth wave, sinusoidal", 5},
    {" A0 / (1 + A1 / X); Michaelis-Menten", 2},
    {" A0 / (1 + A1 * exp(-A2 * X) ); Logistic", 3},
    {" A0 / (1 + A1 / X^2); Hill n=2, dimer", 2},
    {" A0 / (1 + A1 / X^3); Hill n=3, trimer", 2},
    {" A0 / (1 + A1 / X^4); Hill n=4, tetramer", 2},
    {" A0 / (1 + A1 / X^5); Hill n=5, pentamer", 2},
    {" A0 / (1 + A1 / X^6); Hill n=6, hexamer", 2},
    {" b*X; linear, passing through the point (0,0), a=0.0", 1},
    {" A0*exp( -0.5*((X-A1)/A2)~2 ); Gaussian", 3},
    {" A0*exp( -0.5*((X-A1)/A2)~2 ); Gaussian, Peak", 3},
    {" A0*exp( -0.5*((X-A1)/(A2 or A3)~2 ); Gaussian, Asymmetric", 4},
    {" A0*exp( -0.5*((X-A1)/(A2 or A3)~2 ); Gaussian, Asymmetric, Peak", 4},
    {" A0*( (X/A1)~(A2 or A3) ); Williams and Beens, Peak, Asymmetric", 4},
    {" A0 + A1 * X^A2; Biased Power", 3},
    {" A0*sin(2*PI*(X + A2)/ A1) + A3; sine biased with asymmetry A4", 4},
    {" (A0 * Y0) / (Y0 + (A0 - Y0) * exp(-A1 * X) ); Logistic with Y0 fixed.", 2},
    {"  A0*A1*exp( A2 * X ) / (A0 + A1 * (exp(A2 * X) - 1) ); Logistic "
     "https://en.wikipedia.org/wiki/Logistic_function",
     3},
    {"  A0 / (A1 + exp( A2 - X ) ) + A3; Sigmoid curve, biased", 4},
    {"  A0 / (A1 + exp( (A2 - X)/A4 ) ) + A3; Sigmoid curve, biased, scaled", 5},
    {" A0 / (1 + A1 / (X - A2)^2) + A3; Hill n=2, dimer, baised", 4},
    {" A0*sin(2*PI*(X + A2)/ A1) + A3 + A4*X; sine biased, linear", 5},
    {" A0*exp(X/ A1); exponential with length constant A1", 2},
}};

constexpr std::array<std::string_view, kMethodCount> kMethods{"Marquardt", "Expansion", "Powell",
                                                              "Gradient-search", "ALL"};

}  // namespace

std::string_view ModelDisplayString(int modelId) {
    return IsValidModelId(modelId) ? kCatalogue[static_cast<std::size_t>(modelId)].display
                                   : std::string_view{};
}

int ModelParamCount(int modelId) {
    return IsValidModelId(modelId) ? kCatalogue[static_cast<std::size_t>(modelId)].paramCount : 0;
}

std::string ModelComboEntry(int modelId) {
    return Sprintf("%2d) %s", modelId, ModelDisplayString(modelId));
}

std::string_view MethodName(FitMethod method) {
    const int methodId = static_cast<int>(method);
    return IsValidMethodId(methodId) ? kMethods[static_cast<std::size_t>(methodId)]
                                     : std::string_view{};
}

}  // namespace quillon
