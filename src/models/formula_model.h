// The model of a formula the user types instead of a catalogue model: its
// values come from the compiled formula, its derivatives are exact, and its
// parameters start at 1 unless the initial-value directives say otherwise.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "models/formula_program.h"
#include "models/model_function.h"

namespace quillon {

class CFormulaModel final : public CModelFunction {
  public:
    // The program is shared read-only; x, y and w as for every model.
    CFormulaModel(std::shared_ptr<const FormulaProgram> program, const double* x, const double* y,
                  const double* w, int n, double er);
    ~CFormulaModel() override = default;

    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    // Every parameter 1 with the step ER; fails only without points. Flat
    // data are no reason to refuse: a formula may well fit them.
    int Estimate() override;
    bool ValuesAndGradients(const double* params, std::span<double> values,
                            std::span<double> gradients) override;

    const FormulaProgram& Program() const { return *m_program; }

  private:
    std::shared_ptr<const FormulaProgram> m_program;
    FormulaEvaluator m_evaluator;
};

// The model of a formula on the caller's arrays; null when the formula does
// not compile or the memory cannot be obtained.
std::unique_ptr<CFormulaModel> CreateFormulaModel(std::string_view formula, const double* x,
                                                  const double* y, const double* w, int n,
                                                  double er);

// The formula as the report's header and the result file's comment name a
// model: " EXPR; formula" (beginning with a blank, as the catalogue's do).
std::string FormulaDisplayString(std::string_view formula);

// The display string of the model a compute fits: the formula's when there
// is one, else the catalogue id's.
std::string ModelDisplayText(int modelId, std::string_view formula);

// The one line the report gives before the first method's log, naming the
// parameters that start at 1 because no directive gave them a value and
// those that do not occur in the formula; empty when there are none.
std::string FormulaStartNote(const FormulaProgram& program, const std::vector<bool>& given);

}  // namespace quillon
