// libFuzzer target: the formula parser and evaluator. The input is the
// formula's text. A formula that compiles must give the same value point by
// point and over a column, derivatives of the right shape, and a short
// Marquardt fit on a few points that ends with an outcome.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fit/dfpowell.h"
#include "models/formula_model.h"
#include "models/formula_parser.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const FormulaCompileResult compiled = CompileFormula(text);
    if (!compiled.program) {
        Require(compiled.error.column >= 1);
        Require(compiled.error.column <= static_cast<int>(size) + 1);
        Require(!FormulaCaretLine(text, compiled.error.column).empty());
        return 0;
    }
    const FormulaProgram& program = *compiled.program;
    const int m = program.ParamCount();
    Require(m >= 1 && m <= kFormulaMaxParams);
    Require(program.StackDepth() >= 1 && program.StackDepth() <= kFormulaMaxStack);

    const std::vector<double> x{-2.0, -0.5, 0.0, 0.25, 1.0, 3.0};
    const std::vector<double> y{0.1, 0.4, 1.0, 1.2, 2.1, 4.0};
    std::vector<double> a(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) {
        a[static_cast<std::size_t>(i)] = 0.5 + 0.25 * i;
    }
    std::vector<double> values(x.size());
    std::vector<double> gradients(x.size() * static_cast<std::size_t>(m));
    FormulaEvaluator evaluator(program);
    evaluator.ValuesAndGradients(a.data(), x, values, gradients);
    for (std::size_t j = 0; j < x.size(); ++j) {
        Require(Same(values[j], program.Value(a.data(), x[j])));
    }

    auto model =
        CreateFormulaModel(text, x.data(), y.data(), nullptr, static_cast<int>(x.size()), 1e-4);
    Require(model != nullptr);
    Require(model->Init() == 0);
    std::string log;
    DFPowell workspace(*model, log, 10, 1e-3);
    const MethodRun run = workspace.Marquardt();
    Require(run.iterations >= 0);
    return 0;
}
